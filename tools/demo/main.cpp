// The monitor with a built-in unit under test: port 1 is a pseudo-terminal
// fed by an emulated unit in this process, so the window shows live counts on
// a machine without serial hardware. Every other port is the real one.
#include "emulator/PseudoTerminal.h"
#include "emulator/UnitEmulator.h"
#include "serial/PortMapping.h"
#include "serial/SerialPortBackend.h"
#include "ui/Form1.h"
#include "ui/Launch.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);

    emulator::PseudoTerminal line;
    if (!line.isOpen()) {
        std::fprintf(stderr, "bermon-demo: cannot create a pseudo-terminal: %s\n", qPrintable(line.errorString()));
        return 1;
    }
    emulator::EmulatorSettings unitSettings;
    unitSettings.intervalMs = 250;
    unitSettings.link.frameRate = 1000;
    unitSettings.link.bitErrorRate = 2e-5;
    unitSettings.link.frameLossRate = 1e-3;
    emulator::UnitEmulator unit(line, unitSettings);

    const QString demoDevice = line.slavePath();
    std::printf("bermon-demo: port 1 is %s, fed by the built-in unit; press Start.\n", qPrintable(demoDevice));
    std::fflush(stdout);
    const auto form = ui::launchMonitor(std::make_unique<serial::SerialPortBackend>(), [demoDevice](int port) {
        return port == 1 ? demoDevice : serial::systemDeviceForPort(port);
    });
    if (form->hasEnded())
        return form->exitStatus();
    unit.start();
    return app.exec();
}
