#pragma once

#include <QList>
#include <QString>

#include <functional>

namespace serial {

// Maps a port number (1, 2, ...) to the device that the control opens for it;
// empty when no device stands for that number.
using DeviceForPort = std::function<QString(int port)>;

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

// The ports the system's enumeration (QSerialPortInfo) reports.
QList<SerialDevice> listedSerialPorts();

// This system's serial devices in port order: on Linux as above, in /dev;
// elsewhere the listed ports in name order.
QList<SerialDevice> systemSerialDevices();

// This system's mapping: COMn on Windows; elsewhere the n-th of
// systemSerialDevices(), read afresh on every call.
QString systemDeviceForPort(int port);

// What the system knows of a device, one item a line: its path, then its
// description, maker and serial number where known.
QString describeDevice(const QString& path);

// The text for a port number that no device stands for.
QString noDeviceText(int port);

// Enumerating the system's ports takes some milliseconds. While a snapshot
// lives, the functions above answer from it on this thread, so that a list of
// sixteen ports costs one enumeration rather than sixteen. A snapshot taken
// while another lives shares its reading.
class SerialDeviceSnapshot
{
public:
    SerialDeviceSnapshot();
    ~SerialDeviceSnapshot();
    SerialDeviceSnapshot(const SerialDeviceSnapshot&) = delete;
    SerialDeviceSnapshot& operator=(const SerialDeviceSnapshot&) = delete;

private:
    friend QList<SerialDevice> systemSerialDevices();
    friend QString describeDevice(const QString& path);

    QList<SerialDevice> m_listed;
    QList<SerialDevice> m_ordered;
    SerialDeviceSnapshot* m_outer;
};

} // namespace serial
