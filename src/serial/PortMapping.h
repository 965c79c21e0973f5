#pragma once

#include <QString>

#include <functional>

namespace serial {

// Maps a port number (1, 2, ...) to the device that the control opens for it.
using DeviceForPort = std::function<QString(int port)>;

// This system's mapping: COMn on Windows; on Linux the first existing of
// /dev/ttyUSB{n-1}, /dev/ttyACM{n-1}, /dev/ttyS{n-1} (else /dev/ttyS{n-1});
// elsewhere the n-th port the system lists, in name order.
QString systemDeviceForPort(int port);

} // namespace serial
