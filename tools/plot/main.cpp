// bermon-plot: draws a recording of bermon-log as a PNG or SVG chart, without a
// window, or follows one in a window while it grows.

#include "FollowWindow.h"
#include "PlotFile.h"
#include "PlotOptions.h"

#include "desktop/OffscreenProgram.h"

#include "desktop/WindowApplication.h"
#include "util/QuitOnSignals.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    const QString program = QStringLiteral("bermon-plot");
    // The command line is read before the application object exists, so that
    // help and a bad option work without a display; Qt's own options are left
    // to the application object.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const ParsedPlotOptions parsed = parsePlotOptions(desktop::withoutToolkitOptions(arguments));
    if (const std::optional<int> status = commandLineEnd(program, parsed.error, parsed.options.showHelp, plotHelpText,
                                                               parsed.options.showVersion))
        return *status;
    if (parsed.options.follow) {
        const auto app = desktop::makeWindowApplication<QApplication>(argc, argv, "bermon-plot");
        FollowWindow window(parsed.options);
        window.show();
        // From here on the window closes on SIGHUP, SIGINT and SIGTERM: one
        // that takes them has been shown.
        util::QuitOnSignals quit;
        return app->exec();
    }
    // A file is drawn without a display.
    drawWithoutDisplay();
    QApplication app(argc, argv);
    QStringList warnings;
    const QString error = writePlot(parsed.options, warnings);
    return writtenStatus(program, warnings, error);
}
