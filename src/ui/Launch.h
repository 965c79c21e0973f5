#pragma once

#include "serial/PortMapping.h"

#include <memory>

class QApplication;

namespace serial {
class PortBackend;
}

namespace ui {

class Form1;

// Creates the application object of a program with a window. When Qt picks
// the window system itself (QT_QPA_PLATFORM unset, no -platform) and none
// answers, as over SSH or on a console, prints one line that `program` needs
// a graphical desktop, with DISPLAY and WAYLAND_DISPLAY as they are, and exits
// with status 1. A platform chosen on purpose starts, or fails, as Qt has it.
std::unique_ptr<QApplication> makeWindowApplication(int& argc, char** argv, const char* program);

// Creates the monitor's window on the given port back end, runs its load
// handler and, unless that ended the program, shows it centred on the screen.
// From then on SIGTERM, SIGINT and SIGHUP close it as a close from outside
// (Unix). Needs a QApplication.
std::unique_ptr<Form1> launchMonitor(std::unique_ptr<serial::PortBackend> backend, serial::DeviceForPort deviceForPort);

} // namespace ui
