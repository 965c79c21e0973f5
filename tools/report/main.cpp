// bermon-report: the test record of one run of bermon-log, as a PDF, without a window.

#include "ReportDocument.h"
#include "ReportOptions.h"

#include "util/QuietStartup.h"

#include <QApplication>

#include <cstdio>

namespace {

void printError(const QString& text)
{
    std::fprintf(stderr, "bermon-report: %s\n", qPrintable(text));
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
    const ParsedReportOptions parsed = parseReportOptions(app.arguments().mid(1));
    if (!parsed.ok()) {
        printError(parsed.error + QStringLiteral("\nTry 'bermon-report --help'."));
        return 2;
    }
    if (parsed.options.showHelp) {
        std::fputs(qPrintable(reportHelpText()), stdout);
        return 0;
    }
    QStringList warnings;
    const QString error = writeReport(parsed.options, warnings);
    for (const QString& warning : warnings)
        printError(QStringLiteral("warning: ") + warning);
    if (!error.isEmpty()) {
        printError(error);
        return 2;
    }
    return 0;
}
