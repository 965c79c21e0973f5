// bermon-sim: the unit under test in software, sending counter reports on a serial device or a
// pseudo-terminal, with faults on request, and what its link did each second in a file if asked.

#include "SimOptions.h"

#include "emulator/PseudoTerminal.h"
#include "emulator/SerialDevice.h"
#include "emulator/TruthFile.h"
#include "emulator/UnitEmulator.h"

#include "util/QuietStartup.h"
#include "util/QuitOnSignals.h"
#include "util/Version.h"

#include <QCoreApplication>

#include <cstdio>
#include <memory>

namespace {

enum ExitStatus { Done = 0, LineFailed = 1, BadCommandLine = 2 };

void printTo(FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[])
{
    util::dropRuntimeDirectoryWarning();
    QCoreApplication app(argc, argv);
    const ParsedSimOptions parsed = parseSimOptions(app.arguments().mid(1));
    if (!parsed.ok()) {
        printTo(stderr, QStringLiteral("bermon-sim: %1\nTry 'bermon-sim --help'.\n").arg(parsed.error));
        return BadCommandLine;
    }
    const SimOptions& options = parsed.options;
    if (options.showHelp) {
        printTo(stdout, simHelpText());
        return Done;
    }
    if (options.showVersion) {
        printTo(stdout, util::versionText(QStringLiteral("bermon-sim")));
        return Done;
    }

    emulator::TruthFile truth;
    if (!options.truthPath.isEmpty() && !truth.open(options.truthPath)) {
        printTo(stderr, QStringLiteral("bermon-sim: --truth '%1': cannot write the file: %2\n")
                            .arg(options.truthPath, truth.errorString()));
        return BadCommandLine;
    }

    util::QuitOnSignals quitOnSignals;
    std::unique_ptr<emulator::LineEnd> line;
    if (options.device.isEmpty()) {
        auto terminal = std::make_unique<emulator::PseudoTerminal>();
        // The one line on stdout: whoever started the program reads where to connect.
        if (terminal->isOpen())
            printTo(stdout, terminal->slavePath() + '\n');
        line = std::move(terminal);
    } else {
        line = std::make_unique<emulator::SerialDevice>(options.device, options.emulator.baudRate);
    }
    if (!line->isOpen()) {
        printTo(stderr, QStringLiteral("bermon-sim: %1\n").arg(line->errorString()));
        return LineFailed;
    }

    emulator::UnitEmulator unit(*line, options.emulator);
    QObject::connect(&unit, &emulator::UnitEmulator::finished, &app, &QCoreApplication::quit);
    QObject::connect(&unit, &emulator::UnitEmulator::hungUp, &app, [&unit] {
        printTo(stderr, QStringLiteral("bermon-sim: hung up after %1 reports\n").arg(unit.transmissions()));
        QCoreApplication::quit();
    });
    QObject::connect(&unit, &emulator::UnitEmulator::failed, &app, [](const QString& message) {
        printTo(stderr, QStringLiteral("bermon-sim: %1\n").arg(message));
        QCoreApplication::exit(LineFailed);
    });
    // A file that fails on the way ends the run; its message comes once.
    bool truthFailed = false;
    const auto writeTruth = [&truth, &truthFailed, &options](const std::vector<emulator::SecondTruth>& seconds) {
        if (truthFailed || !truth.isOpen() || truth.write(seconds))
            return;
        truthFailed = true;
        printTo(stderr, QStringLiteral("bermon-sim: --truth '%1': %2\n").arg(options.truthPath, truth.errorString()));
        QCoreApplication::exit(LineFailed);
    };
    if (truth.isOpen())
        QObject::connect(&unit, &emulator::UnitEmulator::secondsCompleted, &app, writeTruth);
    unit.start();
    const int status = app.exec();
    // However the run ended, the file ends with the second it ended in.
    unit.stop();
    if (const emulator::LinkRun* run = unit.linkRun())
        writeTruth(run->truth());
    return truthFailed ? int(LineFailed) : status;
}
