// bermon-plot: draws a recording of bermon-log as a PNG or SVG chart, without a window.

#include "PlotFile.h"
#include "PlotOptions.h"

#include "util/QuietStartup.h"

#include <QApplication>

#include <cstdio>

namespace {

void printError(const QString& text)
{
    std::fprintf(stderr, "bermon-plot: %s\n", qPrintable(text));
}

} // namespace

int main(int argc, char* argv[])
{
    util::dropRuntimeDirectoryWarning();
    // Qt Charts draws through widgets' graphics items, which want an application
    // with a platform; the offscreen one needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const ParsedPlotOptions parsed = parsePlotOptions(app.arguments().mid(1));
    if (!parsed.ok()) {
        printError(parsed.error + QStringLiteral("\nTry 'bermon-plot --help'."));
        return 2;
    }
    if (parsed.options.showHelp) {
        std::fputs(qPrintable(plotHelpText()), stdout);
        return 0;
    }
    QStringList warnings;
    const QString error = writePlot(parsed.options, warnings);
    for (const QString& warning : warnings)
        printError(QStringLiteral("warning: ") + warning);
    if (!error.isEmpty()) {
        printError(error);
        return 2;
    }
    return 0;
}
