#include "serial/CommControl.h"

#include "serial/PortBackend.h"
#include "serial/PortError.h"

namespace serial {

CommControl::CommControl(std::unique_ptr<PortBackend> backend, DeviceForPort deviceForPort, QObject* parent)
    : QObject(parent)
    , m_backend(std::move(backend))
    , m_deviceForPort(deviceForPort ? std::move(deviceForPort) : systemDeviceForPort)
{
    connect(m_backend.get(), &PortBackend::bytesArrived, this, &CommControl::onBytesArrived);
    connect(m_backend.get(), &PortBackend::failed, this, &CommControl::onBackendFailed);
}

CommControl::~CommControl()
{
    if (m_open)
        m_backend->close();
}

void CommControl::setCommPort(qint16 port)
{
    if (m_open)
        throw PortError(QStringLiteral("Port already open"));
    if (port < 1)
        throw PortError(QStringLiteral("Invalid port number %1").arg(port));
    m_commPort = port;
}

void CommControl::setSettings(const QString& text)
{
    const LineSettings settings = LineSettings::parse(text);
    if (m_open)
        m_backend->apply(settings);
    m_settings = settings;
}

void CommControl::setPortOpen(bool open)
{
    if (!open) {
        if (m_open) {
            m_backend->close();
            m_open = false;
            m_inBuffer.clear();
        }
        return;
    }
    if (m_open)
        throw PortError(QStringLiteral("Port already open"));
    const QString target = device();
    try {
        m_backend->open(target, m_settings);
    } catch (const PortError& error) {
        m_lastError = error.message();
        throw;
    }
    m_lastError.clear();
    m_inBuffer.clear();
    m_open = true;
}

void CommControl::setRThreshold(qint16 threshold)
{
    if (threshold < 0)
        throw PortError(QStringLiteral("Invalid receive threshold %1").arg(threshold));
    m_threshold = threshold;
    // Bytes that already wait raise the event too, from the event loop rather
    // than nested inside the caller.
    if (m_threshold > 0 && m_inBuffer.size() >= m_threshold)
        QMetaObject::invokeMethod(this, &CommControl::raiseReceiveIfDue, Qt::QueuedConnection);
}

QByteArray CommControl::input()
{
    if (!m_open)
        return {};
    pullReceived();
    return std::exchange(m_inBuffer, {});
}

QString CommControl::device() const
{
    return m_deviceForPort(m_commPort);
}

void CommControl::onBytesArrived()
{
    if (!m_open)
        return;
    pullReceived();
    raiseReceiveIfDue();
}

void CommControl::pullReceived()
{
    // Read everything the device has, so nothing stale is left behind in the
    // system's buffers; what does not fit the receive buffer is an overrun.
    const QByteArray received = m_backend->takeReceived();
    const qsizetype room = kInBufferSize - m_inBuffer.size();
    m_inBuffer += received.first(qMin(room, received.size()));
}

void CommControl::raiseReceiveIfDue()
{
    if (!m_open || m_threshold <= 0 || m_inBuffer.size() < m_threshold)
        return;
    m_commEvent = measurement::kCommEventReceive;
    emit OnComm();
}

void CommControl::onBackendFailed(const QString& reason)
{
    if (!m_open)
        return;
    m_backend->close();
    m_open = false;
    m_inBuffer.clear();
    m_lastError = reason;
    emit deviceLost(reason);
}

} // namespace serial
