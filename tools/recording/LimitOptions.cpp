#include "LimitOptions.h"

#include "LogOptions.h"

#include <limits>

QList<QCommandLineOption> limitOptions(const QString& standing)
{
    return {
        {"max-ber", QStringLiteral("BER limit X, %1").arg(standing), "X"},
        {"max-lost-frames", QStringLiteral("lost frames allowed, %1").arg(standing), "N"},
        {"max-es", QStringLiteral("errored seconds allowed, %1").arg(standing), "N"},
        {"max-ses", QStringLiteral("severely errored seconds allowed, %1").arg(standing), "N"},
        {"max-unavailable", QStringLiteral("unavailable time allowed, such as 30s, %1").arg(standing), "TIME"},
    };
}

std::optional<qint64> wholeOption(const QCommandLineParser& parser, const QString& option, qint64 low, qint64 high,
                                  QString& error)
{
    const QString text = parser.value(option);
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (ok && value >= low && value <= high)
        return value;
    error = QStringLiteral("--%1 '%2': not a whole number from %3 to %4").arg(option, text).arg(low).arg(high);
    return std::nullopt;
}

QString readLimitOptions(const QCommandLineParser& parser, measurement::RunSettings& limits)
{
    const auto whole = [&](const char* option, qint64 most, auto& into) {
        QString error;
        if (const std::optional<qint64> value = wholeOption(parser, option, 0, most, error))
            into = *value;
        return error;
    };
    for (const char* name : kLimitOptionNames)
        if (parser.values(name).size() > 1)
            return QStringLiteral("--%1 given more than once").arg(QLatin1String(name));
    if (parser.isSet("max-ber")) {
        const QString text = parser.value("max-ber");
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (!ok || !(value > 0 && value < 1))
            return QStringLiteral("--max-ber '%1': not a BER above 0 and below 1").arg(text);
        limits.maxBer = value;
    }
    const qint64 seconds = std::numeric_limits<qint32>::max();
    QString error;
    if (error.isEmpty() && parser.isSet("max-lost-frames"))
        error = whole("max-lost-frames", std::numeric_limits<qint64>::max(), limits.maxLostFrames);
    if (error.isEmpty() && parser.isSet("max-es"))
        error = whole("max-es", seconds, limits.maxEs);
    if (error.isEmpty() && parser.isSet("max-ses"))
        error = whole("max-ses", seconds, limits.maxSes);
    if (error.isEmpty() && parser.isSet("max-unavailable")) {
        const QString text = parser.value("max-unavailable");
        const qint64 seconds = parseWholeSeconds(text);
        if (seconds < 0)
            return QStringLiteral("--max-unavailable '%1': not a time in whole seconds such as 0, 30s or 2m").arg(text);
        limits.maxUnavailableSeconds = seconds;
    }
    return error;
}
