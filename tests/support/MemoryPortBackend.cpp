#include "support/MemoryPortBackend.h"

#include "serial/PortError.h"

namespace serial {

void MemoryPortBackend::open(const QString& device, const LineSettings& settings)
{
    if (const auto refusal = m_refusals.constFind(device); refusal != m_refusals.cend())
        throw *refusal;
    m_device = device;
    m_settings = settings;
    m_received.clear();
    m_open = true;
    ++m_openCount;
}

void MemoryPortBackend::close()
{
    m_open = false;
    m_received.clear();
}

void MemoryPortBackend::apply(const LineSettings& settings)
{
    if (m_open && m_rejectedBaudRates.contains(settings.baudRate)) {
        const QString rejected = QStringLiteral("%1 rejects \"%2\"").arg(m_device, settings.text());
        if (m_restoreRefused)
            throw SettingsRejected(rejected, QSerialPort::UnknownError,
                                   QStringLiteral("%1 rejects \"%2\" and cannot be set back to \"%3\"")
                                       .arg(m_device, settings.text(), m_settings.text()));
        throw SettingsRejected(rejected, QSerialPort::UnknownError);
    }
    m_settings = settings;
}

QByteArray MemoryPortBackend::takeReceived()
{
    return std::exchange(m_received, {});
}

void MemoryPortBackend::refuse(const QString& device, const QString& reason, QSerialPort::SerialPortError kind)
{
    m_refusals.insert(device, PortError(QStringLiteral("%1: %2").arg(device, reason), kind));
}

void MemoryPortBackend::rejectBaudRate(qint32 baudRate)
{
    m_rejectedBaudRates.insert(baudRate);
}

void MemoryPortBackend::deliver(const QByteArray& bytes)
{
    if (!m_open)
        return;
    m_received += bytes;
    emit bytesArrived();
}

void MemoryPortBackend::fail(const QString& reason)
{
    if (m_open)
        emit failed(reason);
}

} // namespace serial
