#include "PlotOptions.h"

#include "util/CommandLine.h"
#include "util/TextWrap.h"

#include "util/DurationText.h"
#include "recording/RecordingOptions.h"

#include <QCommandLineParser>

namespace {

using util::OptionError;
using util::wholeOption;

void addOptions(QCommandLineParser& parser)
{
    parser.addOptions({
        {{"o", "output"}, "write the plot to FILE, a .png or .svg", "FILE"},
        {"width", "width of the plot in pixels, 200 to 10000 (default 1200)", "PIXELS"},
        {"height", "height of the plot in pixels, 200 to 10000 (default 800)", "PIXELS"},
        {"title",
         "title of the plot (default: the device, the start time, the bits counted, the final BER and its bound)",
         "TEXT"},
        {"run",
         "draw run N of the file alone, counted from 1, against its elapsed time (default: every run, along "
         "wall-clock time)",
         "N"},
        {"follow", "show the recording in a window and keep it current while bermon-log appends to it"},
        {"window", "with --follow, show the last TIME of the run, such as 10m, or all (default: 10m)", "TIME"},
        {{"h", "help"}, "show this text"},
        {"version", "show the version"},
    });
    // The BER limit is drawn, and the verdict against it goes in the title.
    parser.addOptions(limitOptions(QStringLiteral("in place of the run's own")));
}

PlotOptions readOptions(const QCommandLineParser& parser)
{
    PlotOptions o;
    o.showHelp = parser.isSet("help");
    o.showVersion = parser.isSet("version");
    if (o.showHelp || o.showVersion)
        return o;
    util::rejectRepeatedOptions(parser, {"output", "width", "height", "title", "run", "window"});
    o.input = recordingArgument(parser);
    o.follow = parser.isSet("follow");
    if (o.follow) {
        // The window shows the newest run, drawn on screen.
        for (const char* name : {"output", "run"})
            if (parser.isSet(name))
                throw OptionError{QStringLiteral("--follow shows the newest run in a window: no --%1").arg(name)};
        if (parser.isSet("window")) {
            const QString text = parser.value("window");
            const qint64 ms = text == QLatin1String("all") ? 0 : util::parseDurationMs(text);
            if (ms < 0 || (ms == 0 && text != QLatin1String("all")) || (ms > 0 && ms < 10000))
                throw OptionError{
                    QStringLiteral("--window '%1': not a time of 10 s or more, such as 10m or 2h, or all").arg(text)};
            o.windowSeconds = double(ms) / 1000;
        }
    } else {
        if (parser.isSet("window"))
            throw OptionError{QStringLiteral("--window needs --follow")};
        if (!parser.isSet("output"))
            throw OptionError{QStringLiteral("give the plot's file with -o FILE.png or -o FILE.svg, or --follow")};
        o.output = parser.value("output");
        if (!o.output.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)
            && !o.output.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive))
            throw OptionError{QStringLiteral("-o '%1': the name must end in .png or .svg").arg(o.output)};
    }
    o.width = int(wholeOption(parser, "width", 200, 10000).value_or(o.width));
    o.height = int(wholeOption(parser, "height", 200, 10000).value_or(o.height));
    o.title = parser.value("title");
    o.run = int(wholeOption(parser, "run", 1, 1000000).value_or(o.run));
    readLimitOptions(parser, o.limits);
    return o;
}

} // namespace

ParsedPlotOptions parsePlotOptions(const QStringList& arguments)
{
    return parseRecordingCommandLine(addOptions, QStringLiteral("bermon-plot"), arguments, readOptions);
}

QString followControlsText()
{
    return QStringLiteral("Space or P: pause and go on; wheel: zoom the time axis about the pointer; drag along "
                          "the charts: show that stretch; F, End or Esc: follow the end again; A: the whole run or "
                          "the last --window; Ctrl+Q: quit.");
}

QString plotHelpText()
{
    return recordingHelpText(addOptions, QStringLiteral("bermon-plot")) + QStringLiteral("\n")
           + util::wrapText(
               QStringLiteral(
                   "Draws a recording with Qt Charts, without a window. Top: the BER of each report, without and with\n"
                   "sync loss, on a logarithmic axis; dashed, the upper bound on the BER without sync loss at the "
                   "run's\n"
                   "confidence level (the BER with sync loss has none: a lost frame counts 512 bit errors at once);\n"
                   "dotted, the run's bound over all its reports; dash-dotted, the BER limit. Below: both PERs. "
                   "Vertical\n"
                   "lines mark device lost, device back and counts went down. A rate of 0 or N/A leaves a gap on the\n"
                   "logarithmic axis. With a BER limit, the title gives the verdict of the last run drawn, as "
                   "bermon-log\n"
                   "gives it: lost frames beyond the run's allowance fail it, and errors in bursts widen its bound.\n"
                   "At the foot, a strip of every second, as bermon-log works the seconds out from the same rows: "
                   "green\n"
                   "error-free, amber errored, red severely errored, dark grey unavailable, hatched grey unknown. A\n"
                   "second the reports leave between two classes shows the least in its upper half and the most in "
                   "its\n"
                   "lower; where a pixel holds many seconds, it shows the worst of them. The strip's legend gives the\n"
                   "totals of the runs drawn, as [least,most] where the reports allow a range.\n"
                   "A file of several runs, each from its 'started' row, is drawn along wall-clock time.\n\n"
                   "With --follow, a window shows the newest run of the file and keeps it current while bermon-log\n"
                   "appends to it; a header gives the run's figures and the verdict so far, with what a decision\n"
                   "still needs. Ctrl+Q, SIGINT, SIGTERM and SIGHUP close it. The keys and the mouse:\n")
               + followControlsText()
               + QStringLiteral("\n\nExit status: 0 drawn, 2 a bad command line, a file that is not a recording or "
                                "holds no report,\n"
                                "or a plot that cannot be written. A torn last line is skipped with a warning.\n"));
}
