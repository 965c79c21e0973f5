#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace serial {

// Binds port numbers (1, 2, ...) to devices ahead of the system's: for a
// port it binds, the device that the control opens (empty: none); nothing
// for a port it leaves to a reading of the system's devices (SerialDevices).
// Tests and tools bind ports to pseudo-terminals this way; an empty function
// binds no port.
using DeviceForPort = std::function<std::optional<QString>(int port)>;

// bermon's own mapping: no port bound, every port the system's.
inline const DeviceForPort systemPorts{};

// A serial device and what the system knows of it (empty where unknown).
struct SerialDevice
{
    QString path;
    QString description;
    QString manufacturer;
    QString serialNumber;
};

// Linux: the serial devices present in `deviceDir`, in port order:
//   1. USB adapters, ttyUSB*;
//   2. USB CDC devices, ttyACM*;
//   3. other serial nodes: ttyAMA*, rfcomm*, ttyXRUSB*, then any other name
//      that `listed` holds;
//   4. on-board ttyS*, only those that `listed` holds (the others are
//      placeholders with no hardware behind them).
// Each kind goes by number. A device is present when its name in `deviceDir`
// leads to a character device, directly or through a link. Consoles (tty0,
// tty1, ...) and sub-directories such as serial/by-id never count. `listed` is
// what the system's port enumeration reports; its entries are matched by
// file name and lend their description, maker and serial number.
QList<SerialDevice> orderSerialDevices(const QString& deviceDir, const QList<SerialDevice>& listed);

// One reading of this system's serial devices: which device each port number
// stands for, and what the system knows of each. Reading takes the system's
// port enumeration, some milliseconds; asking a reading costs nothing, so a
// list of sixteen ports is described from one reading. A reading does not
// change: devices that come and go later need a new one.
class SerialDevices
{
public:
    // No devices.
    SerialDevices() = default;
    // `ordered` in port order; `listed` what the system's enumeration reports
    // (QSerialPortInfo), which describes the devices.
    SerialDevices(QList<SerialDevice> ordered, QList<SerialDevice> listed);

    // This system's devices now, one enumeration: on Linux in the order of
    // orderSerialDevices() in /dev; elsewhere the listed ports in name order.
    static SerialDevices read();

    // The device that port n stands for: COMn on Windows; elsewhere the n-th
    // device in port order, empty when there are fewer.
    QString deviceForPort(int port) const;
    // What the system knows of a device, one item a line: its path, then its
    // description, maker and serial number where known.
    QString describe(const QString& path) const;

private:
    QList<SerialDevice> m_ordered;
    QList<SerialDevice> m_listed;
};

// The text for a port number that no device stands for.
QString noDeviceText(int port);

} // namespace serial
