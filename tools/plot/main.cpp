// bermon-plot: draws a recording of bermon-log as a PNG or SVG chart, without a
// window, or follows one in a window while it grows.

#include "FollowWindow.h"
#include "PlotFile.h"
#include "PlotOptions.h"

#include "util/QuietStartup.h"
#include "util/QuitOnSignals.h"

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
    // Only --follow shows a window; a file is drawn without a display.
    bool follow = false;
    for (int i = 1; i < argc; ++i)
        follow = follow || qstrcmp(argv[i], "--follow") == 0;
    if (!follow) {
        util::dropRuntimeDirectoryWarning();
        // Qt Charts draws through widgets' graphics items, which want an
        // application with a platform; the offscreen one needs no display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
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
    if (parsed.options.follow) {
        FollowWindow window(parsed.options);
        util::QuitOnSignals quit;
        window.show();
        return app.exec();
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
