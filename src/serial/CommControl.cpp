#include "serial/CommControl.h"

#include "serial/PortBackend.h"
#include "serial/PortError.h"

#include <QElapsedTimer>

namespace serial {

CommControl::CommControl(std::unique_ptr<PortBackend> backend, DeviceForPort deviceForPort, QObject* parent)
    : QObject(parent)
    , m_backend(std::move(backend))
    , m_deviceForPort(std::move(deviceForPort))
{
    connect(m_backend.get(), &PortBackend::bytesArrived, this, &CommControl::onBytesArrived);
    connect(m_backend.get(), &PortBackend::failed, this, &CommControl::onBackendFailed);
    m_quietTimer.setSingleShot(true);
    m_quietTimer.setInterval(quietLineTime(m_settings.baudRate));
    connect(&m_quietTimer, &QTimer::timeout, this, &CommControl::onLineQuiet);
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
    if (port != m_commPort) {
        m_device.reset();
        m_deviceLookedUp = false;
    }
    m_commPort = port;
}

void CommControl::setSettings(const QString& text)
{
    const LineSettings settings = LineSettings::parse(text);
    if (m_open) {
        try {
            m_backend->apply(settings);
        } catch (const SettingsRejected& rejected) {
            // The back end has returned: the port is closed here, not under it.
            if (rejected.lostReason())
                setError(PortError(*rejected.lostReason(), QSerialPort::ResourceError));
            throw;
        }
    }
    m_settings = settings;
    m_quietTimer.setInterval(quietLineTime(settings.baudRate));
}

void CommControl::setPortOpen(bool open)
{
    if (!open) {
        if (m_open) {
            m_backend->close();
            m_open = false;
            restartFraming();
        }
        return;
    }
    if (m_open)
        throw PortError(QStringLiteral("Port already open"));
    // Devices come and go: each open looks the port number up afresh, once.
    openDevice(m_deviceLookedUp ? *m_device : lookUpDevice());
}

QString CommControl::lookUpDevice()
{
    const std::optional<QString> bound = boundDevice(m_commPort);
    m_device = bound ? *bound : SerialDevices::read().deviceForPort(m_commPort);
    m_deviceLookedUp = true;
    return *m_device;
}

void CommControl::openOn(const SerialDevices& devices)
{
    if (m_open)
        throw PortError(QStringLiteral("Port already open"));
    openDevice(deviceForPort(m_commPort, devices));
}

std::optional<QString> CommControl::boundDevice(int port) const
{
    return m_deviceForPort ? m_deviceForPort(port) : std::nullopt;
}

QString CommControl::deviceForPort(int port, const SerialDevices& devices) const
{
    return boundDevice(port).value_or(devices.deviceForPort(port));
}

// The port is closed.
void CommControl::openDevice(const QString& target)
{
    m_device = target;
    m_deviceLookedUp = false; // the next open asks again
    try {
        if (target.isEmpty())
            throw PortError(noDeviceText(m_commPort), QSerialPort::DeviceNotFoundError);
        m_backend->open(target, m_settings);
    } catch (const PortError& error) {
        setError(error);
        throw;
    }
    setError(std::nullopt);
    restartFraming();
    // Nothing waiting at the open: the next byte starts an item, so a report
    // that comes at once, others on its heels, need not wait for a quiet line.
    if (!m_backend->bytesWaiting())
        m_framer.startAtBoundary();
    m_quietTimer.start(); // the line counts as quiet once it has been heard to be
    m_open = true;
}

void CommControl::setRThreshold(qint16 threshold)
{
    if (threshold < 0)
        throw PortError(QStringLiteral("Invalid receive threshold %1").arg(threshold));
    // A run starts with nothing half received.
    if (m_threshold == 0 && threshold > 0)
        m_framer.dropUndecided();
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
    return std::exchange(m_inBuffer, {});
}

void CommControl::onBytesArrived()
{
    if (!m_open)
        return;
    const QByteArray received = m_backend->takeReceived();
    if (received.isEmpty())
        return;
    QElapsedTimer now;
    now.start();
    m_received += received.size();
    m_arrivals.emplace_back(m_received, now.msecsSinceReference());
    const QList<ReportFramer::Piece> pieces = m_framer.feed(received);
    // Waiting for the line to go quiet costs a wake-up; only undecided bytes
    // need it.
    if (m_framer.settled())
        m_quietTimer.stop();
    else
        m_quietTimer.start();
    deliver(pieces);
}

void CommControl::onLineQuiet()
{
    // After a stall of the event loop the timer and the device's notification
    // may both be due: bytes still waiting mean the line was never quiet.
    if (m_backend->bytesWaiting()) {
        m_quietTimer.start();
        return;
    }
    deliver(m_framer.endOfBurst());
}

void CommControl::deliver(const QList<ReportFramer::Piece>& pieces)
{
    // The hex line has two writers, the report handler and the handler of
    // rejected bytes, and shows what the last of them wrote: so a report is
    // announced before the rejected bytes that follow it, and the line ends on
    // the newest bytes dealt with. Of reports settled together the handler
    // sees the newest.
    bool announced = true;
    // The pieces settled together are the bytes just before those still undecided.
    qint64 settled = m_received - m_framer.undecided().size();
    for (const ReportFramer::Piece& piece : pieces)
        settled -= piece.bytes.size();
    for (const ReportFramer::Piece& piece : pieces) {
        settled += piece.bytes.size();
        if (piece.kind == ReportFramer::Piece::Report) {
            // The read that brought the report's last byte.
            while (m_arrivals.size() > 1 && m_arrivals.front().first < settled)
                m_arrivals.pop_front();
            if (!m_arrivals.empty())
                m_reportArrivedMs = m_arrivals.front().second;
            m_inBuffer = piece.bytes;
            announced = false;
            emit reportFramed(piece.bytes);
            continue;
        }
        if (!announced)
            raiseReceiveIfDue();
        announced = true;
        if (m_open)
            emit bytesUnframed(piece.bytes);
        if (m_open && m_threshold > 0)
            emit inputRejected(piece.bytes);
    }
    if (!announced)
        raiseReceiveIfDue();
    // Reads whose bytes are all settled are done with.
    const qint64 undecidedFrom = m_received - m_framer.undecided().size();
    while (!m_arrivals.empty() && m_arrivals.front().first <= undecidedFrom)
        m_arrivals.pop_front();
}

// Every close comes through here: the quiet-line timer runs only while the
// port is open.
void CommControl::restartFraming()
{
    if (!m_framer.undecided().isEmpty())
        emit bytesUnframed(m_framer.undecided());
    m_inBuffer.clear();
    m_quietTimer.stop();
    m_framer.reset();
}

void CommControl::raiseReceiveIfDue()
{
    if (!m_open || m_threshold <= 0 || m_inBuffer.size() < m_threshold)
        return;
    m_commEvent = kCommEventReceive;
    emit OnComm();
}

void CommControl::onBackendFailed(const QString& reason)
{
    // A device in trouble may report again; it is lost once.
    if (m_open)
        setError(PortError(reason, QSerialPort::ResourceError));
}

// The one writer of the failure record, as QSerialPortPrivate::setError is of
// QSerialPort's error: nothing after a good open, or why an open failed, or,
// when the port is open, why the device was lost: then the port is closed
// here and deviceLost follows.
void CommControl::setError(std::optional<PortError> error)
{
    const bool lost = error && m_open;
    if (lost) {
        m_backend->close();
        m_open = false;
        restartFraming();
    }
    m_error = std::move(error);
    if (lost)
        emit deviceLost(m_error->message());
}

} // namespace serial
