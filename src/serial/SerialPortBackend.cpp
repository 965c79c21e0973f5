#include "serial/SerialPortBackend.h"

#include "serial/PortError.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#endif

namespace serial {

namespace {

// The file QSerialPort opens for a port name: a path as given, a bare name under /dev.
QString systemLocation(const QString& portName)
{
    const bool path = portName.startsWith(u'/') || portName.startsWith(QLatin1String("./"))
                      || portName.startsWith(QLatin1String("../"));
    return path ? portName : QStringLiteral("/dev/") + portName;
}

} // namespace

SerialPortBackend::SerialPortBackend(QObject* parent)
    : PortBackend(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &PortBackend::bytesArrived);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPortBackend::onErrorOccurred);
}

void SerialPortBackend::open(const QString& device, const LineSettings& settings)
{
    m_device = device;
    m_port.setPortName(device);
    if (!configure(settings))
        throw PortError(QStringLiteral("%1: %2").arg(device, m_port.errorString()), m_port.error());
    if (!m_port.open(QIODevice::ReadOnly)) {
        // A directory opens for reading; what fails is the first terminal
        // call on it, which would say "Inappropriate ioctl for device".
        const QString why = QFileInfo(systemLocation(device)).isDir() ? QString::fromLocal8Bit(std::strerror(EISDIR))
                                                                      : m_port.errorString();
        throw PortError(QStringLiteral("%1: %2").arg(device, why), m_port.error());
    }
    m_settings = settings;
    // Like a freshly opened port: nothing from before the open waits. A
    // device whose input cannot even be emptied is not taken as opened.
    if (!m_port.clear(QSerialPort::Input)) {
        const PortError failed(QStringLiteral("%1: %2").arg(device, m_port.errorString()), m_port.error());
        m_port.close();
        throw failed;
    }
}

void SerialPortBackend::close()
{
    if (m_port.isOpen())
        m_port.close();
}

void SerialPortBackend::apply(const LineSettings& settings)
{
    if (configure(settings)) {
        m_settings = settings;
        return;
    }
    const QString rejected =
        QStringLiteral("%1 rejects \"%2\": %3").arg(m_device, settings.text(), m_port.errorString());
    const QSerialPort::SerialPortError kind = m_port.error();
    // A device that cannot be set back runs on settings nobody knows, and the
    // control would claim ones it does not have: it has failed for good.
    if (!configure(m_settings))
        throw SettingsRejected(rejected, kind,
                               QStringLiteral("%1 rejects \"%2\" and cannot be set back to \"%3\": %4")
                                   .arg(m_device, settings.text(), m_settings.text(), m_port.errorString()));
    throw SettingsRejected(rejected, kind);
}

QByteArray SerialPortBackend::takeReceived()
{
    return m_port.readAll();
}

bool SerialPortBackend::bytesWaiting() const
{
    if (m_port.bytesAvailable() > 0)
        return true;
#ifdef Q_OS_UNIX
    // Still in the system's buffer: the port's notifier has yet to run.
    int waiting = 0;
    if (m_port.isOpen() && ::ioctl(int(m_port.handle()), FIONREAD, &waiting) == 0)
        return waiting > 0;
#endif
    return false;
}

bool SerialPortBackend::configure(const LineSettings& settings)
{
    // Each setter must succeed; on a closed port they only store the values.
    // Report bytes may take any value, so no flow control takes any of them.
    return m_port.setBaudRate(settings.baudRate) && m_port.setParity(settings.parity)
           && m_port.setDataBits(settings.dataBits) && m_port.setStopBits(settings.stopBits)
           && m_port.setFlowControl(QSerialPort::NoFlowControl);
}

void SerialPortBackend::onErrorOccurred(QSerialPort::SerialPortError error)
{
    // Errors while opening or configuring are reported by open() and apply();
    // only a failure of the open device during reception is final.
    if (!m_port.isOpen())
        return;
    // Qt's text for a hung-up line is a stale system message, so say it plainly.
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError)
        emit failed(QStringLiteral("%1: connection lost").arg(m_device));
}

} // namespace serial
