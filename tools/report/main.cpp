// bermon-report: the test record of one run of bermon-log, as a PDF, without a window.

#include "ReportDocument.h"
#include "ReportOptions.h"

#include "desktop/OffscreenProgram.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    const QString program = QStringLiteral("bermon-report");
    drawWithoutDisplay();
    QApplication app(argc, argv);
    const ParsedReportOptions parsed = parseReportOptions(app.arguments().mid(1));
    if (const std::optional<int> status =
            commandLineEnd(program, parsed.error, parsed.options.showHelp, reportHelpText,
                           parsed.options.showVersion))
        return *status;
    QStringList warnings;
    const QString error = writeReport(parsed.options, warnings);
    return writtenStatus(program, warnings, error);
}
