#pragma once

#include "serial/PortMapping.h"

#include <memory>

namespace serial {
class PortBackend;
}

namespace ui {

class Form1;

// Creates the monitor's window on the given port back end, runs its load
// handler and, unless that ended the program, shows it centred on the screen.
// From then on SIGTERM, SIGINT and SIGHUP close it as a close from outside
// (Unix). Needs a QApplication.
std::unique_ptr<Form1> launchMonitor(std::unique_ptr<serial::PortBackend> backend, serial::DeviceForPort deviceForPort);

} // namespace ui
