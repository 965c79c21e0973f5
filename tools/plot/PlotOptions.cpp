#include "PlotOptions.h"

#include "util/TextWrap.h"

#include <QCommandLineParser>

namespace {

struct OptionError
{
    QString message;
};

int wholeIn(const QCommandLineParser& parser, const QString& option, int low, int high)
{
    const QString text = parser.value(option);
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        throw OptionError{
            QStringLiteral("--%1 '%2': not a whole number from %3 to %4").arg(option, text).arg(low).arg(high)};
    return value;
}

double berLimit(const QCommandLineParser& parser)
{
    const QString text = parser.value("max-ber");
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !(value > 0 && value < 1))
        throw OptionError{QStringLiteral("--max-ber '%1': not a BER above 0 and below 1").arg(text)};
    return value;
}

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
        {"max-ber",
         "draw the BER limit X and give the verdict against it in the title (default: the limit the run was "
         "recorded with, if any)",
         "X"},
        {{"h", "help"}, "show this text"},
    });
}

PlotOptions read(const QCommandLineParser& parser)
{
    PlotOptions o;
    o.showHelp = parser.isSet("help");
    if (o.showHelp)
        return o;
    for (const char* name : {"output", "width", "height", "title", "run", "max-ber"})
        if (parser.values(name).size() > 1)
            throw OptionError{QStringLiteral("--%1 given more than once").arg(QLatin1String(name))};
    const QStringList inputs = parser.positionalArguments();
    if (inputs.size() != 1)
        throw OptionError{inputs.isEmpty() ? QStringLiteral("give the recording, RUN.csv")
                                           : QStringLiteral("unexpected argument '%1'").arg(inputs[1])};
    o.input = inputs.first();
    if (!parser.isSet("output"))
        throw OptionError{QStringLiteral("give the plot's file with -o FILE.png or -o FILE.svg")};
    o.output = parser.value("output");
    if (!o.output.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)
        && !o.output.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive))
        throw OptionError{QStringLiteral("-o '%1': the name must end in .png or .svg").arg(o.output)};
    if (parser.isSet("width"))
        o.width = wholeIn(parser, "width", 200, 10000);
    if (parser.isSet("height"))
        o.height = wholeIn(parser, "height", 200, 10000);
    o.title = parser.value("title");
    if (parser.isSet("run"))
        o.run = wholeIn(parser, "run", 1, 1000000);
    if (parser.isSet("max-ber"))
        o.maxBer = berLimit(parser);
    return o;
}

} // namespace

ParsedPlotOptions parsePlotOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    addOptions(parser);
    ParsedPlotOptions parsed;
    try {
        if (!parser.parse(QStringList{QStringLiteral("bermon-plot")} + arguments))
            throw OptionError{parser.errorText()};
        parsed.options = read(parser);
    } catch (const OptionError& error) {
        parsed.error = error.message;
    }
    return parsed;
}

QString plotHelpText()
{
    QCommandLineParser parser;
    addOptions(parser);
    parser.addPositionalArgument("RUN.csv", "a recording made by bermon-log --csv");
    return parser.helpText() + QStringLiteral("\n")
           + util::wrapText(QStringLiteral(
               "Draws a recording with Qt Charts, without a window. Top: the BER of each report, without and with\n"
               "sync loss, on a logarithmic axis; dashed, the upper bound on the BER without sync loss at the run's\n"
               "confidence level (the BER with sync loss has none: a lost frame counts 512 bit errors at once);\n"
               "dotted, the run's bound over all its reports; dash-dotted, the BER limit. Below: both PERs. Vertical\n"
               "lines mark device lost, device back and counts went down. A rate of 0 or N/A leaves a gap on the\n"
               "logarithmic axis. With a BER limit, the title gives the verdict of the last run drawn, as bermon-log\n"
               "gives it: lost frames beyond the run's allowance fail it, and errors in bursts widen its bound.\n"
               "At the foot, a strip of every second, as bermon-log works the seconds out from the same rows: green\n"
               "error-free, amber errored, red severely errored, dark grey unavailable, hatched grey unknown. A\n"
               "second the reports leave between two classes shows the least in its upper half and the most in its\n"
               "lower; where a pixel holds many seconds, it shows the worst of them. The strip's legend gives the\n"
               "totals of the runs drawn, as [least,most] where the reports allow a range.\n"
               "A file of several runs, each from its 'started' row, is drawn along wall-clock time.\n\n"
               "Exit status: 0 drawn, 2 a bad command line, a file that is not a recording or holds no report,\n"
               "or a plot that cannot be written. A torn last line is skipped with a warning.\n"));
}
