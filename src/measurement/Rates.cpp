#include "measurement/Rates.h"

#include "measurement/StepGuard.h"

#include <QLocale>

#include <cmath>
#include <stdexcept>

namespace measurement {

namespace {

const QString kZeroRate = QStringLiteral("0.0 E+0");
const QString kUnitRate = QStringLiteral("1.0 E+0");

// A count read back from its display; the displays hold plain decimal digits.
quint64 countIn(const StatusView& view, StatusDisplay display)
{
    const QString text = view.displayText(display);
    bool ok = false;
    const quint64 count = text.toULongLong(&ok, 10);
    if (!ok)
        throw std::invalid_argument("count display does not hold a count: " + text.toStdString());
    return count;
}

float countAsFloat(const StatusView& view, StatusDisplay display)
{
    return static_cast<float>(countIn(view, display));
}

// Frame count times bits per frame, formed exactly and then rounded once.
float frameBitsAsFloat(const StatusView& view, StatusDisplay display)
{
    return static_cast<float>(countIn(view, display) * kBitsPerFrame);
}

} // namespace

QString formatBer(double a)
{
    if (!std::isfinite(a))
        return kNotAvailable;
    if (a == 0)
        return kZeroRate;
    if (a == 1)
        return kUnitRate;
    if (a < 0)
        return {};

    float m = static_cast<float>(a);
    if (m == 0.0f) // below the smallest single-precision value: zero there
        return kZeroRate;
    if (!std::isfinite(m))
        return kNotAvailable;
    qint16 n = 0;
    do {
        m = m * 10.0f;
        ++n;
    } while (!(m > 1.0f));

    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    const QString mantissa = locale.toString(static_cast<double>(m), 'g', 7);
    return mantissa.left(5) + QStringLiteral(" E-") + QString::number(n);
}

QString percentText(float rate)
{
    if (!std::isfinite(rate))
        return kNotAvailable;
    return QLocale().toString(static_cast<double>(rate) * 100.0, 'f', 2) + QLatin1Char('%');
}

void applyRates(StatusView& view)
{
    using D = StatusDisplay;
    float rate = 0.0f;

    // BER without sync loss: bit errors over the bits of the received frames.
    runGuarded([&] { rate = countAsFloat(view, D::ErrorBit) / frameBitsAsFloat(view, D::RecvFrame); });
    runGuarded([&] { view.setDisplayText(D::Ber, formatBer(rate)); });

    // BER with sync loss: every bit of a lost frame counts as an error.
    runGuarded([&] {
        const float errors = frameBitsAsFloat(view, D::LossFrame) + countAsFloat(view, D::ErrorBit);
        const float bits = frameBitsAsFloat(view, D::RecvFrame) + frameBitsAsFloat(view, D::LossFrame);
        rate = errors / bits;
    });
    runGuarded([&] { view.setDisplayText(D::BerLoss, formatBer(rate)); });

    // PER without sync loss: errored frames over received frames.
    runGuarded([&] { rate = countAsFloat(view, D::ErrorFrame) / countAsFloat(view, D::RecvFrame); });
    runGuarded([&] { view.setDisplayText(D::Per, percentText(rate)); });

    // PER with sync loss: lost frames count as errored frames.
    runGuarded([&] {
        const float errored = countAsFloat(view, D::LossFrame) + countAsFloat(view, D::ErrorFrame);
        const float frames = countAsFloat(view, D::RecvFrame) + countAsFloat(view, D::LossFrame);
        rate = errored / frames;
    });
    runGuarded([&] { view.setDisplayText(D::PerLoss, percentText(rate)); });
}

void resetStatus(StatusView& view)
{
    using D = StatusDisplay;
    const QString zeroCount = QString::number(0);
    for (D count : {D::RecvFrame, D::LossFrame, D::ErrorFrame, D::ErrorBit})
        view.setDisplayText(count, zeroCount);
    for (D rate : {D::Ber, D::BerLoss, D::Per, D::PerLoss})
        view.setDisplayText(rate, kZeroRate);
}

} // namespace measurement
