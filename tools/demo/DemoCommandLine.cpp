#include "DemoCommandLine.h"

#include <QSet>

namespace {

// QGuiApplication's, QApplication's and the X11 platform's own options; each
// may also be written with two dashes.
const QSet<QString> kToolkitOptionsWithValue{"platform",        "platformpluginpath", "platformtheme", "plugin",
                                             "qwindowgeometry", "qwindowtitle",       "qwindowicon",   "session",
                                             "style",           "stylesheet",         "display",       "name"};
const QSet<QString> kToolkitSwitches{"reverse", "testability", "nograb", "dograb", "widgetcount", "sync"};

} // namespace

QStringList withoutToolkitOptions(const QStringList& arguments)
{
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        QString name = argument.startsWith(QLatin1String("--")) ? argument.mid(2)
                       : argument.startsWith(QLatin1Char('-'))  ? argument.mid(1)
                                                                : QString();
        if (const qsizetype equals = name.indexOf(QLatin1Char('=')); equals > 0) {
            if (kToolkitOptionsWithValue.contains(name.left(equals)) || name.startsWith(QLatin1String("qmljsdebugger")))
                continue;
        } else if (kToolkitSwitches.contains(name)) {
            continue;
        } else if (kToolkitOptionsWithValue.contains(name) && i + 1 < arguments.size()) {
            ++i;
            continue;
        }
        kept << argument;
    }
    return kept;
}

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
