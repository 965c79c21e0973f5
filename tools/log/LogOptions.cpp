#include "LogOptions.h"

#include "serial/LineSettings.h"

#include "measurement/ConfidenceBound.h"
#include "recording/RecordingOptions.h"
#include "util/CommandLine.h"
#include "util/DurationText.h"
#include "util/TextWrap.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

using measurement::CounterModel;

namespace {

using util::Ends;
using util::numberOption;
using util::rejectOption;
using util::wholeOption;

struct Option
{
    QString name;
    QString valueName; // empty for a switch
    QString description;
};

const QList<Option>& options()
{
    static const QList<Option> list{
        {"device", "PATH", "record from this serial device or pseudo-terminal"},
        {"port", "N", "record from port N, numbered as the bermon window numbers its ports (1 to 256)"},
        {"baud", "RATE", QStringLiteral("line speed: %1 (default 9600)").arg(serial::baudRatesText())},
        {"counters", "MODEL",
         "restart: a received-frame count below the last one starts a new test period with every count at 0, and "
         "the totals add each period's last report; frames between that report and the restart are not counted. "
         "wrap: each field is a free-running counter modulo 2^16 or 2^32, and the totals add the increments from "
         "the first report on. Either way a decrease is recorded as an event (default restart)"},
        {"csv", "FILE",
         "append a row for every report and event to FILE; a torn last line is cut first, a file an earlier "
         "version wrote is renamed with the date added and a new one begun, a file with another header is "
         "refused (default: no file)"},
        {"jsonl", "", "write every row to standard output as a JSON line (default off)"},
        {"prom-file", "PATH",
         "keep the run's figures in PATH, a file in the Prometheus text format for the node exporter's textfile "
         "collector; its name must end in .prom. It is replaced whole after a report (at most once a second), when "
         "the device goes or comes back, and at the end, with bermon_device_up 0 (default: no file)"},
        {"unit", "NAME",
         "the unit under test, kept in the recording and the unit label of the Prometheus figures (default: none "
         "recorded, the device's base name as the label)"},
        {"operator", "NAME", "who runs the test, kept in the recording for its report (default: none)"},
        {"procedure", "ID", "the test procedure the run follows, kept in the recording (default: none)"},
        {"customer", "NAME", "whom the test is for, kept in the recording (default: none)"},
        {"note", "TEXT", "a line about the run, kept in the recording and printed on its report (default: none)"},
        {"confidence", "C", "confidence of the bound on the run's BER, above 0 and below 1 (default 0.95)"},
        {"max-ber", "X",
         "ask for a verdict at the end: pass (status 0) when the bound is at or below X and at most "
         "--max-lost-frames frames were lost, fail (status 1) when the lower bound is above X or more frames were "
         "lost, else not decided (status 4); X above 0 and below 1 (default: no verdict)"},
        {"max-lost-frames", "N",
         "a pass allows at most N frames lost through loss of sync over the run, those the unit had lost before "
         "the first report included under --counters restart; more is a fail. Alone, it asks for a verdict on lost "
         "frames only (default 0 with --max-ber, else no verdict)"},
        {"max-es", "N",
         "a pass allows at most N errored seconds in available time; a verdict of its own or beside --max-ber "
         "(default: no limit)"},
        {"max-ses", "N", "a pass allows at most N severely errored seconds in available time (default: no limit)"},
        {"max-unavailable", "TIME",
         "a pass allows at most TIME of unavailable time, in whole seconds: 0, 30s, 2m (default: no limit)"},
        {"max-silence", "TIME",
         "fail the run once no report has come for TIME, 1s to 24h (default: no limit). Without it a silence "
         "still counts: a time without reports longer than the longest interval before it and the latency is "
         "unknown, never error-free"},
        {"latency", "MS",
         "the unit took a report's counts at most MS milliseconds before the report arrived, on top of its "
         "time on the wire at --baud; 0 to 1000 (default 20). A USB serial adapter holds bytes up to its "
         "latency timer, 16 ms unless set: read it from /sys/bus/usb-serial/devices/*/latency_timer. A native "
         "UART or a pseudo-terminal needs a few ms"},
        {"duration", "TIME", "stop after TIME: 45s, 30m, 8h, 1h30m, 2d, 500ms or seconds (default: no limit)"},
        {"bits", "N",
         "stop once the run has counted N bits, e.g. 3e9; auto: the bits a pass needs with no error, "
         "-ln(1-C)/X, which needs --max-ber (default: no limit)"},
        {"reports", "N", "stop after N reports (default: no limit)"},
        {"reconnect", "",
         "when the device is missing, busy or goes away, record it, wait for it and go on; the run totals carry on "
         "(default: end with status 3)"},
        {"quiet", "", "no live status line on standard error (default off)"},
        {"help", "", "show this text"},
        {"version", "", "show the version"},
    };
    return list;
}

// The line's settings: --baud and --counters.
void readLineSettings(const QCommandLineParser& parser, measurement::RunSettings& o)
{
    if (const std::optional<qint64> baud = wholeOption(parser, "baud", 1, 115200)) {
        o.baud = int(*baud);
        if (!serial::isBaudRate(o.baud))
            rejectOption("baud", parser.value("baud"),
                         QStringLiteral("not a supported baud rate (%1)").arg(serial::baudRatesText()));
    }
    if (parser.isSet("counters")) {
        const QString model = parser.value("counters");
        const std::optional<CounterModel> counters = measurement::counterModelFromName(model);
        if (!counters)
            rejectOption("counters", model, QStringLiteral("neither restart nor wrap"));
        o.counters = *counters;
    }
}

// The rest of the run's settings: its unit, verdict and stop conditions.
void readRunSettings(const QCommandLineParser& parser, measurement::RunSettings& o)
{
    readIdentityOptions(parser, o);
    o.confidence = numberOption(parser, "confidence", 0, 1, Ends::Excluded).value_or(o.confidence);
    readLimitOptions(parser, o);
    if (o.maxBer && !o.maxLostFrames)
        o.maxLostFrames = 0; // a link that loses frames does not pass on its BER alone
    if (parser.isSet("max-silence")) {
        const qint64 ms = util::parseDurationMs(parser.value("max-silence"));
        if (ms < 1000 || ms > 86'400'000)
            rejectOption("max-silence", parser.value("max-silence"), QStringLiteral("not a time from 1s to 24h"));
        o.maxSilenceSeconds = double(ms) / 1000;
    }
    o.latencyMs = numberOption(parser, "latency", 0, 1000).value_or(o.latencyMs);
    if (parser.isSet("duration")) {
        const qint64 ms = util::parseDurationMs(parser.value("duration"));
        if (ms <= 0)
            rejectOption("duration", parser.value("duration"),
                         QStringLiteral("not a time above zero such as 45s, 30m, 8h or 1h30m"));
        o.durationSeconds = double(ms) / 1000;
    }
    if (parser.isSet("bits")) {
        if (parser.value("bits") == QLatin1String("auto")) {
            if (!o.maxBer)
                rejectOption("bits", "auto", QStringLiteral("needs --max-ber"));
            o.stopBits = std::ceil(measurement::bitsForPass(*o.maxBer, o.confidence));
        } else {
            o.stopBits = *numberOption(parser, "bits", 1, 1e18);
        }
    }
    o.stopReports = wholeOption(parser, "reports", 1, std::numeric_limits<qint64>::max()).value_or(0);
}

LogOptions readOptions(const QCommandLineParser& parser)
{
    LogOptions o;
    o.showHelp = parser.isSet("help");
    o.showVersion = parser.isSet("version");
    if (o.showHelp || o.showVersion)
        return o;
    util::rejectExtraArguments(parser);
    QStringList valued;
    for (const Option& option : options())
        if (!option.valueName.isEmpty())
            valued << option.name;
    util::rejectRepeatedOptions(parser, valued);
    if (parser.isSet("device") == parser.isSet("port"))
        throw util::OptionError{QStringLiteral("give either --device PATH or --port N")};
    if (parser.isSet("device")) {
        o.device = parser.value("device");
        if (o.device.isEmpty())
            rejectOption("device", o.device, QStringLiteral("empty path"));
    } else {
        o.port = int(*wholeOption(parser, "port", 1, 256));
    }
    readLineSettings(parser, o.run);
    if (parser.isSet("csv")) {
        o.csvPath = parser.value("csv");
        if (o.csvPath.isEmpty())
            rejectOption("csv", o.csvPath, QStringLiteral("empty path"));
    }
    o.jsonl = parser.isSet("jsonl");
    if (parser.isSet("prom-file")) {
        o.promPath = parser.value("prom-file");
        // The collector reads *.prom only: any other name would be ignored without a word.
        if (!o.promPath.endsWith(QLatin1String(".prom")) || QFileInfo(o.promPath).fileName() == QLatin1String(".prom"))
            rejectOption("prom-file", o.promPath, QStringLiteral("the node exporter reads only files named NAME.prom"));
    }
    readRunSettings(parser, o.run);
    o.stopBitsAuto = parser.value("bits") == QLatin1String("auto");
    o.reconnect = parser.isSet("reconnect");
    o.quiet = parser.isSet("quiet");
    return o;
}

} // namespace

ParsedLogOptions parseLogOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const Option& option : options())
        parser.addOption(QCommandLineOption(option.name, option.description, option.valueName));
    return util::parseCommandLine(parser, QStringLiteral("bermon-log"), arguments, readOptions);
}

QString logHelpText()
{
    QString text = QStringLiteral("Usage: bermon-log (--device PATH | --port N) [options]\n");
    text += util::wrapText(QStringLiteral(
        "Records the counter reports of a unit under test in a bit-error-rate test, keeps the run's totals,\n"
        "bounds its bit error ratio at a confidence level, counts errored, severely errored and\n"
        "unavailable seconds and, with --max-ber or their limits, gives a verdict.\n"
        "\n"
        "Every whole report becomes a row, in the CSV file and/or as a JSON line on standard output;\n"
        "events (started, device lost, device back, counts went down, torn line cut, unframed, stopped)\n"
        "have rows of their own; an unframed row, at most one a second, counts bytes that belong to no\n"
        "whole report and shows the first 36 in hex, so that nothing received vanishes. The bound is\n"
        "the exact one-sided Poisson upper bound on the BER without sync loss; the BER with sync loss\n"
        "has none, as a lost frame counts 512 bit errors at once: lost frames have a limit of their\n"
        "own, --max-lost-frames.\n"
        "\n"
        "The Poisson bound holds for independent bit errors. Errors that come in clusters (a link with\n"
        "forward error correction or interleaving) make it far too sure of itself, so the run is tested:\n"
        "the report intervals are pooled into groups that each expect at least 5 errors, and Pearson's\n"
        "X² over the k groups is compared with χ² of k - 1 degrees of freedom. The dispersion index\n"
        "X²/(k - 1) is about 1 for independent errors; the errors are clustered when X² rejects\n"
        "independence at 1 %. Clustered errors also need the cluster-robust bound of the ratio\n"
        "estimator (Student's t, k - 1 degrees of freedom) for a verdict, and at least 10 groups that\n"
        "hold errors. The verdict line and the stopped row give the bits per errored frame beside its\n"
        "value under independence, the dispersion and whether errors are clustered; a run that ends\n"
        "not decided says what would decide it (the bits a pass needs with no further error, and how\n"
        "long they take at the run's bit rate). Intervals across a restart or a wrap of the counts\n"
        "are left out of the groups.\n"
        "\n"
        "Error performance, with one 512-bit test frame as one block: an errored second (ES) holds an\n"
        "errored frame or a lost one; a severely errored second (SES) holds errored frames for at least\n"
        "30 % of its frames (received and lost), or a lost frame; unavailable time begins at the first\n"
        "of 10 SES in a row and ends at the first of 10 seconds in a row that are not SES. ES, SES,\n"
        "background block errors (BBE, errored frames outside SES) and error-free seconds (EFS) count\n"
        "available time only. Seconds are the UTC seconds of this host's clock from the second of the\n"
        "first report on, and a report belongs to the moment it arrived; the run totals still include\n"
        "the counts the unit held at the first report, error performance starts there. A report has no\n"
        "time of its own, so where in an interval its errors fell is not known: each figure is the\n"
        "least and the most any placement allows, \"[2,5]\", one number where they agree. Seconds no\n"
        "report speaks for (a lost device, a restart of the counts, more frames between two reports\n"
        "than 16-bit counts hold) are unknown: never error-free, and errored, severe and unavailable\n"
        "at the most. Several reports a second and fewer than 65536 frames between two reports give\n"
        "exact figures for nearly every second. With --max-es, --max-ses or --max-unavailable a run\n"
        "fails once a least passes its limit and passes only when it lasted its whole --duration with\n"
        "every most within the limits: a bringing-into-service test is --duration 15m, 2h or 24h.\n"
        "\n"
        "The status line and the verdict go to standard error. Ctrl-C, SIGTERM and SIGHUP end the run\n"
        "cleanly.\n"));
    text += QStringLiteral("\nOptions:\n");
    for (const Option& option : options()) {
        const QString name = QStringLiteral("--") + option.name
                             + (option.valueName.isEmpty() ? QString() : QLatin1Char(' ') + option.valueName);
        text += QStringLiteral("  %1\n").arg(name);
        text += util::wrapText(option.description, 80, 6);
    }
    text += QStringLiteral("\n")
            + util::wrapText(QStringLiteral("Exit status: 0 pass (or no verdict asked), 1 fail, 2 bad command line or "
                                            "CSV file, 3 no report came, the device failed without --reconnect, or a "
                                            "record could not be written, 4 not decided."));
    return text;
}
