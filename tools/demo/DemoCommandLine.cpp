#include "DemoCommandLine.h"

SimCommandLine demoCommandLine()
{
    SimCommandLine commandLine;
    commandLine.program = QStringLiteral("bermon-demo");
    commandLine.summary =
        QStringLiteral("The monitor's window with a unit under test built in: port 1 is a\n"
                       "pseudo-terminal fed by an emulated unit, which takes bermon-sim's options below;\n"
                       "every other port is the real one. The unit starts with the window: press Start.\n");
    commandLine.takesDevice = false;
    commandLine.takesTruth = false;
    emulator::EmulatorSettings& unit = commandLine.defaults;
    unit.intervalMs = 250;
    unit.link.frameRate = 1000;
    unit.link.bitErrorRate = 2e-5;
    unit.link.frameLossRate = 1e-3;
    return commandLine;
}
