#pragma once

#include "serial/PortBackend.h"
#include "serial/PortError.h"

#include <QHash>
#include <QSet>

namespace serial {

// An in-memory device for tests: the test decides which devices open, which
// baud rates they accept, and delivers exact bytes and failures.
class MemoryPortBackend final : public PortBackend
{
    Q_OBJECT
public:
    using PortBackend::PortBackend;

    void open(const QString& device, const LineSettings& settings) override;
    void close() override;
    void apply(const LineSettings& settings) override;
    QByteArray takeReceived() override;

    // Opening `device` fails with `reason`, of the given kind, from now on.
    void refuse(const QString& device, const QString& reason, QSerialPort::SerialPortError kind);
    // The device rejects this baud rate when settings are applied while open.
    void rejectBaudRate(qint32 baudRate);
    // From now on, a device that rejects settings cannot be set back to the
    // ones it had either: it fails for good, as SerialPortBackend tells it.
    void refuseRestore() { m_restoreRefused = true; }
    // Bytes arrive on the open device (ignored while closed).
    void deliver(const QByteArray& bytes);
    // The open device fails for good.
    void fail(const QString& reason);

    bool isOpen() const { return m_open; }
    QString device() const { return m_device; }
    LineSettings settings() const { return m_settings; }
    int openCount() const { return m_openCount; }

private:
    QHash<QString, PortError> m_refusals;
    QSet<qint32> m_rejectedBaudRates;
    QByteArray m_received;
    QString m_device;
    LineSettings m_settings;
    bool m_open = false;
    bool m_restoreRefused = false;
    int m_openCount = 0;
};

} // namespace serial
