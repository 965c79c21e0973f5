// bermon-plot: draws a recording of bermon-log as a PNG or SVG chart, without a
// window, or follows one in a window while it grows.

#include "FollowWindow.h"
#include "PlotFile.h"
#include "PlotOptions.h"

#include "OffscreenProgram.h"

#include "util/QuitOnSignals.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    const QString program = QStringLiteral("bermon-plot");
    // Only --follow shows a window; a file is drawn without a display.
    bool follow = false;
    for (int i = 1; i < argc; ++i)
        follow = follow || qstrcmp(argv[i], "--follow") == 0;
    if (!follow)
        drawWithoutDisplay();
    QApplication app(argc, argv);
    const ParsedPlotOptions parsed = parsePlotOptions(app.arguments().mid(1));
    if (const std::optional<int> status = commandLineEnd(program, parsed.error, parsed.options.showHelp, plotHelpText))
        return *status;
    if (parsed.options.follow) {
        FollowWindow window(parsed.options);
        util::QuitOnSignals quit;
        window.show();
        return app.exec();
    }
    QStringList warnings;
    const QString error = writePlot(parsed.options, warnings);
    return writtenStatus(program, warnings, error);
}
