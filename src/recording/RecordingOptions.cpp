#include "recording/RecordingOptions.h"

#include "util/DurationText.h"

#include "util/CommandLine.h"

#include <limits>

QString recordingArgument(const QCommandLineParser& parser)
{
    if (parser.positionalArguments().isEmpty())
        throw util::OptionError{QStringLiteral("give the recording, RUN.csv")};
    util::rejectExtraArguments(parser, 1);
    return parser.positionalArguments().first();
}

QString recordingHelpText(AddOptions addOptions, const QString& program)
{
    QCommandLineParser parser;
    addOptions(parser);
    parser.addPositionalArgument("RUN.csv", "a recording made by bermon-log --csv");
    // Qt names the program by its first argument, or by a placeholder before
    // the application object exists.
    QString text = parser.helpText();
    const QString usage = QStringLiteral("Usage: ");
    if (text.startsWith(usage))
        text.replace(usage.size(), text.indexOf(' ', usage.size()) - usage.size(), program);
    return text;
}

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

void readLimitOptions(const QCommandLineParser& parser, measurement::RunSettings& limits)
{
    using util::wholeOption;
    util::rejectRepeatedOptions(parser, kLimitOptionNames);
    if (const std::optional<double> ber = util::numberOption(parser, "max-ber", 0, 1, util::Ends::Excluded))
        limits.maxBer = ber;
    if (const std::optional<qint64> frames =
            wholeOption(parser, "max-lost-frames", 0, std::numeric_limits<qint64>::max()))
        limits.maxLostFrames = quint64(*frames);
    const qint64 seconds = std::numeric_limits<qint32>::max();
    if (const std::optional<qint64> es = wholeOption(parser, "max-es", 0, seconds))
        limits.maxEs = es;
    if (const std::optional<qint64> ses = wholeOption(parser, "max-ses", 0, seconds))
        limits.maxSes = ses;
    if (parser.isSet("max-unavailable")) {
        const QString text = parser.value("max-unavailable");
        const qint64 unavailable = util::parseWholeSeconds(text);
        if (unavailable < 0)
            util::rejectOption("max-unavailable", text,
                               QStringLiteral("not a time in whole seconds such as 0, 30s or 2m"));
        limits.maxUnavailableSeconds = unavailable;
    }
}

void readIdentityOptions(const QCommandLineParser& parser, measurement::RunSettings& settings)
{
    // Long enough for a sentence, short enough that a row stays far below a line's limit.
    constexpr qsizetype kLongest = 500;
    QString* const fields[] = {&settings.unit, &settings.operatorName, &settings.procedure, &settings.customer,
                               &settings.note};
    const char* const nouns[] = {"name", "name", "identifier", "name", "text"};
    for (qsizetype i = 0; i < kIdentityOptionNames.size(); ++i) {
        const QString& name = kIdentityOptionNames[i];
        if (!parser.isSet(name))
            continue;
        const QString value = parser.value(name);
        if (value.trimmed().isEmpty())
            util::rejectOption(name, value, QStringLiteral("empty %1").arg(QLatin1String(nouns[i])));
        if (value.size() > kLongest)
            util::rejectOption(name, value.left(40), QStringLiteral("longer than %1 characters").arg(kLongest));
        *fields[i] = value;
    }
}
