#include "util/DurationText.h"

#include <QRegularExpression>

#include <cmath>

namespace util {

qint64 parseWholeSeconds(const QString& text)
{
    static const QRegularExpression zero(QStringLiteral("^0+(\\.0*)?(ms|s|m|h|d)?$"));
    const qint64 ms = zero.match(text).hasMatch() ? 0 : parseDurationMs(text);
    return ms < 0 || ms % 1000 != 0 ? -1 : ms / 1000;
}

qint64 parseDurationMs(const QString& text)
{
    static const QRegularExpression bare(QStringLiteral("^\\d+(\\.\\d+)?$"));
    static const QRegularExpression whole(QStringLiteral("^(\\d+(\\.\\d+)?(ms|s|m|h|d))+$"));
    static const QRegularExpression part(QStringLiteral("(\\d+(?:\\.\\d+)?)(ms|s|m|h|d)"));
    double ms = 0;
    if (bare.match(text).hasMatch()) {
        ms = text.toDouble() * 1000;
    } else if (whole.match(text).hasMatch()) {
        for (const QRegularExpressionMatch& m : part.globalMatch(text)) {
            const QString unit = m.captured(2);
            const double scale = unit == "ms"  ? 1
                                 : unit == "s" ? 1e3
                                 : unit == "m" ? 60e3
                                 : unit == "h" ? 3600e3
                                               : 86400e3;
            ms += m.captured(1).toDouble() * scale;
        }
    } else {
        return -1;
    }
    // Ten years is plenty, and keeps the figure far from overflow.
    if (!(ms >= 1 && ms <= 10 * 365 * 86400e3))
        return -1;
    return qint64(std::llround(ms));
}

} // namespace util
