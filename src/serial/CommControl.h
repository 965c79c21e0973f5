#pragma once

#include "measurement/ReportPort.h"
#include "serial/CommEvents.h"
#include "serial/LineSettings.h"
#include "serial/PortError.h"
#include "serial/PortMapping.h"
#include "serial/ReportFramer.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <deque>
#include <memory>
#include <optional>

namespace serial {

class PortBackend;

// The window's serial-port control. It only listens. The bytes received are
// framed into whole counter reports; the newest of them waits in the receive
// buffer that `input()` empties, and `OnComm` signals that at least
// `RThreshold` bytes wait. Every report is also announced in order by
// `reportFramed`, and bytes that belong to no report by `inputRejected`.
// Port number, line settings and threshold are its own settings and hold
// across closing and reopening. A failed operation throws PortError.
class CommControl final : public QObject, public measurement::ReportPort
{
    Q_OBJECT
public:
    // Ports that `deviceForPort` binds open its devices; the others stand
    // for the system's devices (systemPorts binds none).
    CommControl(std::unique_ptr<PortBackend> backend, DeviceForPort deviceForPort, QObject* parent = nullptr);
    ~CommControl() override;

    // The next open uses this port; allowed only while the port is closed.
    void setCommPort(qint16 port);
    // "9600,n,8,1" and the like; takes effect at once on an open port.
    void setSettings(const QString& text);
    // true opens the port (PortError when it cannot) on the device that
    // lookUpDevice() gave since the last open, or else asks the port mapping
    // now; false closes it and never fails.
    void setPortOpen(bool open);
    // Asks the port mapping which device the port number stands for now (the
    // system's devices are read unless the port is bound), and keeps the
    // answer: device() gives it, and the next open opens it. A caller that
    // names the device before opening it names the one that is opened.
    QString lookUpDevice();
    // Opens the port as setPortOpen(true) does, on a reading of the devices
    // already made: an unbound port stands for its device in `devices`.
    void openOn(const SerialDevices& devices);
    bool portOpen() const { return m_open; }
    // n > 0: OnComm follows once at least n bytes wait; 0: no receive events.
    // Going from 0 to n > 0 starts a run: a report half received is dropped.
    void setRThreshold(qint16 threshold);
    // The newest whole report not yet taken, removed from the buffer. Empty
    // when none waits or the port is closed.
    QByteArray input() override;
    qint16 commEvent() const override { return m_commEvent; }

    qint16 commPort() const { return m_commPort; }
    // The device that the current port number stood for when the mapping was
    // last asked (by an open or lookUpDevice); empty before it was asked and
    // after the port number changed. Reads nothing.
    QString device() const { return m_device.value_or(QString()); }
    // The device that the control would open for `port` on that reading.
    QString deviceForPort(int port, const SerialDevices& devices) const;
    // When the last byte of the report that reportFramed announces arrived,
    // on the monotonic clock in ms (QElapsedTimer's): a report the framer
    // held for a quiet line keeps the time its bytes came.
    qint64 reportArrivedMs() const { return m_reportArrivedMs; }
    // Why the last open failed or the device was lost; empty after a good open.
    QString lastError() const { return m_error ? m_error->message() : QString(); }
    QSerialPort::SerialPortError lastErrorKind() const { return m_error ? m_error->kind() : QSerialPort::NoError; }

signals:
    void OnComm();
    // The open device failed for good; the port has been closed.
    void deviceLost(const QString& reason);
    // Every whole report received, in order, whether a run is on or not.
    void reportFramed(const QByteArray& report);
    // Bytes that belong to no report, while a run is on.
    void inputRejected(const QByteArray& bytes);
    // Every byte received that belongs to no whole report, run or not: bytes
    // the framer rejects, and undecided bytes dropped when the port closes
    // or fails. With reportFramed it accounts for every byte received.
    void bytesUnframed(const QByteArray& bytes);

private:
    friend struct CommControlSeam; // tests/support: what tests read of the settings

    // The port bound to a device, or nothing when the reading decides.
    std::optional<QString> boundDevice(int port) const;
    void openDevice(const QString& target);
    void onBytesArrived();
    void onLineQuiet();
    void onBackendFailed(const QString& reason);
    void setError(std::optional<PortError> error);
    void deliver(const QList<ReportFramer::Piece>& pieces);
    void raiseReceiveIfDue();
    void restartFraming();

    std::unique_ptr<PortBackend> m_backend;
    DeviceForPort m_deviceForPort;
    std::optional<QString> m_device; // the mapping's last answer for m_commPort
    bool m_deviceLookedUp = false;   // m_device was asked for the next open
    QByteArray m_inBuffer;
    ReportFramer m_framer;
    QTimer m_quietTimer; // runs from each arrival until the line is quiet
    LineSettings m_settings;
    std::optional<PortError> m_error; // written by setError() alone
    // When the bytes received came: the count of bytes received until the
    // end of each read still unsettled, and its time.
    std::deque<std::pair<qint64, qint64>> m_arrivals;
    qint64 m_received = 0;
    qint64 m_reportArrivedMs = 0;
    qint16 m_commPort = 1;
    qint16 m_threshold = 0;
    qint16 m_commEvent = 0;
    bool m_open = false;
};

} // namespace serial
