#include "ui/BoundTexts.h"

#include "measurement/ConfidenceBound.h"

#include <cmath>

namespace ui {

QString shortScientific(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("N/A");
    if (value == 0)
        return QStringLiteral("0");
    // printf rounds the mantissa and carries into the exponent ("9.96" gives "1.0e+01").
    const QString text = QString::asprintf("%.1e", value);
    const qsizetype e = text.indexOf(QLatin1Char('e'));
    return text.left(e) + QStringLiteral(" E") + QString::number(text.mid(e + 1).toInt());
}

QString berBoundText(quint64 errors, quint64 bits, double confidence)
{
    if (bits == 0)
        return QStringLiteral("No confidence bound: no frame received yet");
    return QStringLiteral("below %1 at %2 % confidence (%3 errors in %4 bits)")
        .arg(shortScientific(measurement::berUpperBound(errors, bits, confidence)),
             QString::number(confidence * 100, 'g', 6))
        .arg(errors)
        .arg(shortScientific(double(bits)));
}

QString noBoundWithLossText()
{
    return QStringLiteral("No confidence bound: a lost frame counts 512 bit errors at once, which is not a Poisson "
                          "count. The bound beside is for the BER without sync loss.");
}

} // namespace ui
