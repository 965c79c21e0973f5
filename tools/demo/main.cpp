// The monitor with a built-in unit under test: port 1 is a pseudo-terminal
// fed by an emulated unit in this process, so the window shows live counts on
// a machine without serial hardware. Every other port is the real one. The unit takes
// bermon-sim's options, so faults can be watched in the window.
#include "DemoCommandLine.h"
#include "desktop/WindowApplication.h"
#include "emulator/PseudoTerminal.h"
#include "emulator/UnitEmulator.h"
#include "serial/PortMapping.h"
#include "serial/SerialPortBackend.h"
#include "ui/DropDownList.h"
#include "ui/Form1.h"
#include "ui/Launch.h"
#include "util/Version.h"

#include <QApplication>

#include <cstdio>

namespace {

enum ExitStatus { Done = 0, LineFailed = 1, BadCommandLine = 2 };

} // namespace

int main(int argc, char* argv[])
{
    // The command line is read before the window's application object exists,
    // so that help and a bad option work without a display. Qt's own options
    // (-platform, -style ...) are left to the application object.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const SimCommandLine commandLine = demoCommandLine();
    const ParsedSimOptions parsed = parseSimOptions(desktop::withoutToolkitOptions(arguments), commandLine);
    if (!parsed.ok()) {
        std::fprintf(stderr, "bermon-demo: %s\nTry 'bermon-demo --help'.\n", qPrintable(parsed.error));
        return BadCommandLine;
    }
    if (parsed.options.showHelp) {
        std::fputs(qPrintable(simHelpText(commandLine)), stdout);
        return Done;
    }
    if (parsed.options.showVersion) {
        std::fputs(qPrintable(util::versionText(QStringLiteral("bermon-demo"))), stdout);
        return Done;
    }
    const auto app = desktop::makeWindowApplication<QApplication>(argc, argv, "bermon-demo");

    emulator::PseudoTerminal line;
    if (!line.isOpen()) {
        std::fprintf(stderr, "bermon-demo: cannot create a pseudo-terminal: %s\n", qPrintable(line.errorString()));
        return LineFailed;
    }
    emulator::UnitEmulator unit(line, parsed.options.emulator);
    // The window shows the line going away; the terminal says that it was meant.
    QObject::connect(&unit, &emulator::UnitEmulator::hungUp, app.get(), [&unit] {
        std::fprintf(stderr, "bermon-demo: the unit hung up after %d reports, as --fault hangup asks\n",
                     unit.transmissions());
    });

    const QString demoDevice = line.slavePath();
    std::printf("bermon-demo: port 1 is %s, fed by the built-in unit; press Start.\n", qPrintable(demoDevice));
    std::fflush(stdout);
    // Port 1 is the demo's line; the others are the system's.
    const auto form = ui::launchMonitor(std::make_unique<serial::SerialPortBackend>(), [demoDevice](int port) {
        return port == 1 ? std::optional(demoDevice) : std::nullopt;
    });
    if (form->hasEnded())
        return form->exitStatus();
    // The window's baud list at the unit's rate, chosen as the operator would.
    auto* baudList = form->findChild<ui::DropDownList*>(QStringLiteral("Combo_BaudRate"));
    baudList->choose(baudList->findText(QString::number(parsed.options.emulator.baudRate)));
    if (form->hasEnded())
        return form->exitStatus();
    unit.start();
    return app->exec();
}
