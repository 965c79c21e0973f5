#include "SimOptions.h"

#include "serial/LineSettings.h"
#include "util/CommandLine.h"

#include <QCommandLineParser>

#include <algorithm>
#include <climits>
#include <optional>

using emulator::ReportFault;
using util::numberOption;
using util::rejectOption;
using util::wholeOption;

namespace {

constexpr int kDefaultHangUpAfter = 10;
constexpr int kMaxClusterFrames = 1000;
constexpr int kBitsPerFrame = emulator::LinkModel::kBitsPerFrame;
constexpr int kMaxIntervalMs = 3600000;
constexpr int kMaxOutageSeconds = 86400;

struct OptionEntry
{
    QString name;
    QString valueName; // empty for a switch
    QString description;
};

QList<OptionEntry> optionEntries(const emulator::EmulatorSettings& defaults)
{
    const auto overflowName = [](emulator::CountOverflow overflow) {
        return overflow == emulator::CountOverflow::Wrap ? QStringLiteral("wrap") : QStringLiteral("restart");
    };
    return {
        {"device", "PATH", "send on this serial device (default: create a pseudo-terminal and print its path)"},
        {"baud", "RATE", QString("line speed: %1 (default %2)").arg(serial::baudRatesText()).arg(defaults.baudRate)},
        {"interval", "MS",
         QString("milliseconds from one report to the next, 1 to %1 (default %2)")
             .arg(kMaxIntervalMs)
             .arg(defaults.intervalMs)},
        {"interval-max", "MS",
         QString("each interval drawn anew, evenly from --interval to MS milliseconds, up to %1 (default: "
                 "--interval, every interval the same)")
             .arg(kMaxIntervalMs)},
        {"frame-rate", "N",
         QString("test frames a second on the link, 0 to 1e8 (default %1)").arg(defaults.link.frameRate)},
        {"ber", "X", QString("bit error rate of received frames, 0 to 1 (default %1)").arg(defaults.link.bitErrorRate)},
        {"loss-rate", "X", QString("share of frames lost, 0 to 1 (default %1)").arg(defaults.link.frameLossRate)},
        {"cluster-bits", "N",
         QString("bit errors come in error events of N in one frame, or spread over --cluster-frames, at most %1 a "
                 "frame; events begin at --ber / N a bit, so the mean BER holds (default %2: each bit on its own)")
             .arg(kBitsPerFrame)
             .arg(defaults.link.clusterBits)},
        {"cluster-frames", "M",
         QString("each error event hits M consecutive received frames, 1 to %1, with at least one bit error in "
                 "each: --cluster-bits is at least M, or left at 1 for one a frame (default %2)")
             .arg(kMaxClusterFrames)
             .arg(defaults.link.clusterFrames)},
        {"errored-seconds", "P",
         QString("chance that a second of the link is an errored second, 0 to 1: in it each received frame free of "
                 "errors takes one bit error with chance --errored-share (default %1)")
             .arg(defaults.conditions.erroredSecondChance)},
        {"errored-share", "S",
         QString("the share of frames an errored second puts in error, 0 to 1 (default %1)")
             .arg(defaults.conditions.erroredShare)},
        {"outage", "FIRST+LENGTH",
         QString("sync lost for LENGTH (1 to %1) whole seconds from second FIRST of the run, second 0 being the one "
                 "it starts in: every frame sent then is lost; repeat or separate by commas (default none)")
             .arg(kMaxOutageSeconds)},
        {"outage-chance", "P",
         QString("chance that a second not in an outage begins one of --outage-length seconds, 0 to 1 (default %1)")
             .arg(defaults.conditions.outageChance)},
        {"outage-length", "N",
         QString("seconds of an outage that --outage-chance begins, 1 to %1 (default %2)")
             .arg(kMaxOutageSeconds)
             .arg(defaults.conditions.outageSeconds)},
        {"counters", "MODE",
         QString("restart: when a 16-bit count would pass 65535, a new test period begins with all four counts at 0; "
                 "wrap: each count wraps on its own (default %1)")
             .arg(overflowName(defaults.overflow))},
        {"fault", "MODE",
         "none, wrong-marker, short, double, garbage, stray, hangup, burst or marker-counts; repeat or separate by "
         "commas (default none)"},
        {"fault-every", "N",
         QString("every N-th report is faulty, the faults taking turns (default %1)").arg(defaults.faults.faultEvery)},
        {"hangup-after", "N",
         QString("with --fault hangup: the line goes away after N reports (default %1)").arg(kDefaultHangUpAfter)},
        {"pieces", "N",
         QString("deliver each transmission in N pieces, separate writes, 1 to %1; each piece follows the previous one "
                 "after its wire time, 10 bits a byte at --baud (default %2)")
             .arg(emulator::kMaxPieces)
             .arg(defaults.pieces)},
        {"send-delay", "MS",
         QString("each transmission leaves a time drawn evenly from 0 to MS milliseconds, 0 to %1, after its counts "
                 "were taken, as a USB serial adapter's latency timer holds bytes; the next one waits behind it "
                 "(default %2)")
             .arg(emulator::kMaxSendDelayMs)
             .arg(defaults.sendDelayMs)},
        {"count", "N", QString("stop after N reports, 0 = never (default %1)").arg(defaults.count)},
        {"seed", "N", QString("seed of the random draws, 0 to 4294967295 (default %1)").arg(defaults.seed)},
        {"truth", "FILE",
         "write what the link did in each UTC second as CSV (time, blocks sent, errored blocks, lost frames), a "
         "line once the second has ended and the last one when the program ends (default: none)"},
        {"help", "", "show this text"},
        {"version", "", "show the version"},
    };
}

std::optional<ReportFault> reportFaultNamed(const QString& name)
{
    static const QList<std::pair<QString, ReportFault>> names{
        {"wrong-marker", ReportFault::WrongMarker}, {"short", ReportFault::Short}, {"double", ReportFault::Double},
        {"garbage", ReportFault::Garbage},          {"stray", ReportFault::Stray},
    };
    for (const auto& [known, fault] : names)
        if (known == name)
            return fault;
    return std::nullopt;
}

int baudValue(const QCommandLineParser& parser, int fallback)
{
    const auto baud = int(wholeOption(parser, "baud", 0, INT_MAX).value_or(fallback));
    if (!serial::isBaudRate(baud))
        rejectOption("baud", parser.value("baud"),
                     QStringLiteral("not a supported baud rate (%1)").arg(serial::baudRatesText()));
    return baud;
}

emulator::CountOverflow overflowValue(const QCommandLineParser& parser, emulator::CountOverflow fallback)
{
    if (!parser.isSet("counters"))
        return fallback;
    const QString text = parser.value("counters");
    if (text == "restart")
        return emulator::CountOverflow::RestartPeriod;
    if (text == "wrap")
        return emulator::CountOverflow::Wrap;
    rejectOption("counters", text, QStringLiteral("neither restart nor wrap"));
}

// Read together, since an event's bits must fill each of its frames with at least one and at most 512.
void readErrorClusters(const QCommandLineParser& parser, emulator::LinkRates& link)
{
    link.clusterFrames = int(wholeOption(parser, "cluster-frames", 1, kMaxClusterFrames).value_or(link.clusterFrames));
    link.clusterBits = int(
        wholeOption(parser, "cluster-bits", 1, qint64(kMaxClusterFrames) * kBitsPerFrame).value_or(link.clusterBits));
    const QString bits = QString::number(link.clusterBits);
    const QString text = parser.isSet("cluster-bits") ? parser.value("cluster-bits") : bits;
    if (link.clusterBits > link.clusterFrames * kBitsPerFrame)
        rejectOption("cluster-bits", text,
                     link.clusterFrames == 1
                         ? QStringLiteral("more than %1 bit errors in one frame; spread them with --cluster-frames")
                               .arg(kBitsPerFrame)
                         : QStringLiteral("more than %1 bit errors a frame over --cluster-frames %2 (at most %3)")
                               .arg(kBitsPerFrame)
                               .arg(link.clusterFrames)
                               .arg(link.clusterFrames * kBitsPerFrame));
    if (link.clusterBits > 1 && link.clusterBits < link.clusterFrames)
        rejectOption(
            "cluster-bits", text,
            QStringLiteral("fewer than --cluster-frames %1: an error event puts at least one bit error in each "
                           "of its frames")
                .arg(link.clusterFrames));
}

emulator::FaultPlan faultPlan(const QCommandLineParser& parser, emulator::FaultPlan plan)
{
    bool hangUp = false;
    for (const QString& value : parser.values("fault")) {
        for (const QString& part : value.split(',')) {
            const QString name = part.trimmed();
            if (name == "hangup")
                hangUp = true;
            else if (name == "burst")
                plan.burst = true;
            else if (name == "marker-counts")
                plan.markerCounts = true;
            else if (const auto fault = reportFaultNamed(name))
                plan.reportFaults.append(*fault);
            else if (name != "none")
                rejectOption("fault", name,
                             QStringLiteral("unknown fault (none, wrong-marker, short, double, garbage, stray, "
                                            "hangup, burst or marker-counts)"));
        }
    }
    if (parser.isSet("hangup-after") && !hangUp)
        rejectOption("hangup-after", parser.value("hangup-after"), QStringLiteral("needs --fault hangup"));
    if (hangUp)
        plan.hangUpAfter = int(wholeOption(parser, "hangup-after", 0, INT_MAX).value_or(kDefaultHangUpAfter));
    plan.faultEvery = int(wholeOption(parser, "fault-every", 1, 1000000).value_or(plan.faultEvery));
    return plan;
}

// --outage FIRST+LENGTH, each given on its own or with others separated by commas.
QList<emulator::Outage> outagesValue(const QCommandLineParser& parser)
{
    QList<emulator::Outage> outages;
    for (const QString& value : parser.values("outage")) {
        for (const QString& part : value.split(',')) {
            const QString text = part.trimmed();
            const QStringList numbers = text.split('+');
            bool firstOk = false;
            bool lengthOk = false;
            const qint64 first = numbers.size() == 2 ? numbers[0].toLongLong(&firstOk) : 0;
            const qint64 length = numbers.size() == 2 ? numbers[1].toLongLong(&lengthOk) : 0;
            if (!firstOk || !lengthOk)
                rejectOption("outage", text, QStringLiteral("not FIRST+LENGTH in whole seconds, as in 20+12"));
            if (first < 0 || first > INT_MAX)
                rejectOption("outage", text, QStringLiteral("first second out of range (0 to %1)").arg(INT_MAX));
            if (length < 1 || length > kMaxOutageSeconds)
                rejectOption("outage", text, QStringLiteral("length out of range (1 to %1)").arg(kMaxOutageSeconds));
            outages.append({first, length});
        }
    }
    return outages;
}

void readConditions(const QCommandLineParser& parser, emulator::LinkConditionPlan& plan)
{
    plan.erroredSecondChance = numberOption(parser, "errored-seconds", 0, 1).value_or(plan.erroredSecondChance);
    plan.erroredShare = numberOption(parser, "errored-share", 0, 1).value_or(plan.erroredShare);
    if (parser.isSet("outage"))
        plan.outages = outagesValue(parser);
    plan.outageChance = numberOption(parser, "outage-chance", 0, 1).value_or(plan.outageChance);
    plan.outageSeconds = int(wholeOption(parser, "outage-length", 1, kMaxOutageSeconds).value_or(plan.outageSeconds));
}

int intervalMaxValue(const QCommandLineParser& parser, int intervalMs, int fallback)
{
    const auto most = int(wholeOption(parser, "interval-max", 1, kMaxIntervalMs).value_or(fallback));
    if (parser.isSet("interval-max") && most < intervalMs)
        rejectOption("interval-max", parser.value("interval-max"),
                     QStringLiteral("less than --interval %1").arg(intervalMs));
    return most;
}

// A path for a file the program writes; it must not be empty.
QString pathValue(const QCommandLineParser& parser, const QString& option)
{
    if (parser.isSet(option) && parser.value(option).isEmpty())
        rejectOption(option, {}, QStringLiteral("empty path"));
    return parser.value(option);
}

// "  --name VALUE      description", the description wrapped to 80 columns.
QString describeOption(const OptionEntry& entry)
{
    constexpr int kIndent = 22; // room for "  --cluster-frames M"; a longer name has its text below
    constexpr int kWidth = 80;
    const QString name =
        entry.name == "help" ? QStringLiteral("-h, --help") : "--" + entry.name + ' ' + entry.valueName;
    QString text = "  " + name;
    text = text.size() < kIndent ? text.leftJustified(kIndent) : text + '\n' + QString(kIndent, ' ');
    qsizetype lineLength = kIndent;
    for (const QString& word : entry.description.split(' ')) {
        if (lineLength > kIndent && lineLength + 1 + word.size() > kWidth) {
            text += '\n' + QString(kIndent, ' ');
            lineLength = kIndent;
        } else if (lineLength > kIndent) {
            text += ' ';
            ++lineLength;
        }
        text += word;
        lineLength += word.size();
    }
    return text + '\n';
}

SimOptions readOptions(const QCommandLineParser& parser, const SimCommandLine& commandLine)
{
    SimOptions options;
    options.emulator = commandLine.defaults;
    util::rejectExtraArguments(parser);
    options.showHelp = parser.isSet("help");
    options.showVersion = parser.isSet("version");
    if (parser.isSet("device") && !commandLine.takesDevice)
        rejectOption("device", parser.value("device"),
                     QStringLiteral("%1 sends on a pseudo-terminal of its own, port 1; for a serial device run "
                                    "bermon-sim --device")
                         .arg(commandLine.program));
    if (parser.isSet("truth") && !commandLine.takesTruth)
        rejectOption(
            "truth", parser.value("truth"),
            QStringLiteral("%1 writes no truth file; for one run bermon-sim --truth").arg(commandLine.program));
    options.device = pathValue(parser, "device");
    options.truthPath = pathValue(parser, "truth");
    emulator::EmulatorSettings& settings = options.emulator;
    settings.baudRate = baudValue(parser, settings.baudRate);
    settings.intervalMs = int(wholeOption(parser, "interval", 1, kMaxIntervalMs).value_or(settings.intervalMs));
    settings.intervalMaxMs = intervalMaxValue(parser, settings.intervalMs, settings.intervalMaxMs);
    settings.link.frameRate = numberOption(parser, "frame-rate", 0, 1e8).value_or(settings.link.frameRate);
    settings.link.bitErrorRate = numberOption(parser, "ber", 0, 1).value_or(settings.link.bitErrorRate);
    settings.link.frameLossRate = numberOption(parser, "loss-rate", 0, 1).value_or(settings.link.frameLossRate);
    readErrorClusters(parser, settings.link);
    readConditions(parser, settings.conditions);
    settings.overflow = overflowValue(parser, settings.overflow);
    settings.faults = faultPlan(parser, settings.faults);
    settings.pieces = int(wholeOption(parser, "pieces", 1, emulator::kMaxPieces).value_or(settings.pieces));
    settings.sendDelayMs =
        int(wholeOption(parser, "send-delay", 0, emulator::kMaxSendDelayMs).value_or(settings.sendDelayMs));
    settings.count = int(wholeOption(parser, "count", 0, INT_MAX).value_or(settings.count));
    settings.seed = quint32(wholeOption(parser, "seed", 0, UINT_MAX).value_or(settings.seed));
    return options;
}

} // namespace

ParsedSimOptions parseSimOptions(const QStringList& arguments, const SimCommandLine& commandLine)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // --device is known even where it is not taken, so that it gets a message of its own.
    for (const OptionEntry& entry : optionEntries(commandLine.defaults)) {
        const QStringList names = entry.name == "help" ? QStringList{"h", "help"} : QStringList{entry.name};
        parser.addOption(QCommandLineOption(names, entry.description, entry.valueName));
    }
    return util::parseCommandLine(
        parser, commandLine.program, arguments,
        [&commandLine](const QCommandLineParser& given) { return readOptions(given, commandLine); });
}

QString simHelpText(const SimCommandLine& commandLine)
{
    const bool sim = commandLine.takesDevice;
    QString text = QStringLiteral("Usage: %1 [options]\n").arg(commandLine.program);
    text += !commandLine.summary.isEmpty()
                ? commandLine.summary
                : QStringLiteral("Plays the unit under test of a bit-error-rate test: runs the link test and\n"
                                 "sends a 12-byte counter report on a serial line every interval.\n");
    text += QStringLiteral("\nOptions:\n");
    for (const OptionEntry& entry : optionEntries(commandLine.defaults))
        if ((commandLine.takesDevice || entry.name != "device") && (commandLine.takesTruth || entry.name != "truth"))
            text += describeOption(entry);
    text += QStringLiteral("\nFaults:\n"
                           "  wrong-marker  the first byte is 0xF0, not 0xF1\n"
                           "  short         the report breaks off after %1 bytes\n"
                           "  double        two reports in one write, so they arrive together\n"
                           "  garbage       1 to %2 random bytes, never 0xF1, ahead of the report\n"
                           "  stray         one byte ahead of the report, 0xF1 one time in %3\n"
                           "  hangup        the line goes away after --hangup-after reports\n"
                           "  burst         back to back at the line's full rate, not every --interval\n"
                           "  marker-counts fixed counts that hold 0xF1 bytes, back to back as in a burst:\n"
                           "                F1 F1F1 00F1 01F1 0001F1F1 nn, byte 11 (nn) counting on\n"
                           "--count and --hangup-after count transmissions, a double report as one. Byte 11\n"
                           "numbers the reports themselves: 1, 2, 3 ... modulo 256. --fault-every applies to\n"
                           "wrong-marker, short, double, garbage and stray.\n\n"
                           "Counts: the unit counts over a test period. With --counters restart, when a\n"
                           "16-bit count (frames received, lost or with errors) would pass 65535, a new\n"
                           "period begins with all four counts at 0 and counting goes on from there, so the\n"
                           "counts of a report always belong together.\n\n"
                           "Seconds: --errored-seconds and the outages go by UTC seconds, second 0 being the\n"
                           "one the unit starts in; an outage second's frames count as lost, none received.\n\n")
                .arg(emulator::kShortReportLength)
                .arg(emulator::kMaxGarbageLength)
                .arg(emulator::kStrayMarkerOneIn);
    if (sim)
        text += QStringLiteral("Ctrl-C, SIGTERM or SIGHUP ends the program.\n"
                               "Exit status: 0 done, 1 the line could not be opened or failed, or the --truth\n"
                               "file failed on the way, 2 bad command line or a --truth file that cannot be\n"
                               "written.\n");
    else
        text += QStringLiteral("Exit status: 2 bad command line, else that of the monitor.\n");
    return text;
}
