#include "desktop/OffscreenProgram.h"

#include "util/QuietStartup.h"
#include "util/Version.h"

#include <QtGlobal>

#include <csignal>
#include <cstdio>

namespace {

// "PROGRAM: TEXT" on standard error.
void printError(const QString& program, const QString& text)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(program), qPrintable(text));
}

} // namespace

void drawWithoutDisplay()
{
    // A file-size limit reached is a failed write of the output, said and
    // cleaned up (OutputFile), not a program killed mid-file.
    std::signal(SIGXFSZ, SIG_IGN);
    util::dropRuntimeDirectoryWarning();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

std::optional<int> commandLineEnd(const QString& program, const QString& error, bool showHelp, QString (*help)(),
                                  bool showVersion)
{
    if (!error.isEmpty()) {
        printError(program, error + QStringLiteral("\nTry '%1 --help'.").arg(program));
        return 2;
    }
    if (showHelp) {
        std::fputs(qPrintable(help()), stdout);
        return 0;
    }
    if (showVersion) {
        std::fputs(qPrintable(util::versionText(program)), stdout);
        return 0;
    }
    return std::nullopt;
}

int writtenStatus(const QString& program, const QStringList& warnings, const QString& error)
{
    for (const QString& warning : warnings)
        printError(program, QStringLiteral("warning: ") + warning);
    if (!error.isEmpty()) {
        printError(program, error);
        return 2;
    }
    return 0;
}
