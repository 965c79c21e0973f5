// bermon-sim: the unit under test in software, sending counter reports on a serial device or a
// pseudo-terminal, with faults on request.

#include "QuitOnSignals.h"
#include "SimOptions.h"

#include "emulator/PseudoTerminal.h"
#include "emulator/SerialDevice.h"
#include "emulator/UnitEmulator.h"

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

    QuitOnSignals quitOnSignals;
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
    unit.start();
    return app.exec();
}
