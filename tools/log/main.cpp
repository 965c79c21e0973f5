// bermon-log: records the counter reports of a unit under test without a
// window, with run totals, a confidence bound on the BER and a verdict.

#include "LogOptions.h"
#include "Recorder.h"

#include "recording/CsvFile.h"

#include "util/QuietStartup.h"
#include "util/QuitOnSignals.h"
#include "util/Version.h"

#include <QCoreApplication>

#include <csignal>

#include <unistd.h>

int main(int argc, char* argv[])
{
    // A file-size limit reached is a failed write of the CSV (EFBIG), cut back
    // to its last whole row and reported, not a recorder killed mid-row.
    std::signal(SIGXFSZ, SIG_IGN);
    util::dropRuntimeDirectoryWarning();
    QCoreApplication app(argc, argv);
    const ParsedLogOptions parsed = parseLogOptions(app.arguments().mid(1));
    if (!parsed.ok()) {
        writeWhole(STDERR_FILENO,
                   QStringLiteral("bermon-log: %1\nTry 'bermon-log --help'.\n").arg(parsed.error).toLocal8Bit());
        return BadCommandLine;
    }
    if (parsed.options.showHelp) {
        writeWhole(STDOUT_FILENO, logHelpText().toLocal8Bit());
        return Pass;
    }
    if (parsed.options.showVersion) {
        writeWhole(STDOUT_FILENO, util::versionText(QStringLiteral("bermon-log")).toLocal8Bit());
        return Pass;
    }
    // A reader of --jsonl that goes away is a failed write, not a killed recorder.
    std::signal(SIGPIPE, SIG_IGN);

    util::QuitOnSignals quitOnSignals;
    Recorder recorder(parsed.options);
    QObject::connect(&recorder, &Recorder::stopped, &app, [](int status) { QCoreApplication::exit(status); });
    if (const std::optional<int> status = recorder.start())
        return *status;
    const int status = app.exec();
    return recorder.hasFinished() ? status : recorder.finish(QStringLiteral("interrupted by a signal"));
}
