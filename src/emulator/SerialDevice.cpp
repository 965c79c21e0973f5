#include "emulator/SerialDevice.h"

namespace emulator {

SerialDevice::SerialDevice(const QString& path, int baudRate)
    : m_path(path)
{
    m_port.setPortName(path);
    m_port.setBaudRate(baudRate);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                     [this](QSerialPort::SerialPortError error) { onError(error); });
    if (!m_port.open(QIODevice::WriteOnly))
        m_error = QStringLiteral("cannot open %1: %2").arg(path, m_port.errorString());
}

SerialDevice::~SerialDevice()
{
    // Closing on the way out is no failure to report.
    m_port.disconnect();
    hangUp();
}

bool SerialDevice::write(const QByteArray& bytes)
{
    if (!m_port.isOpen()) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("%1 is closed").arg(m_path);
        return false;
    }
    if (m_port.write(bytes) == bytes.size())
        return true;
    m_error = QStringLiteral("cannot write to %1: %2").arg(m_path, m_port.errorString());
    hangUp();
    return false;
}

void SerialDevice::hangUp()
{
    // Closing a closed port would raise another error.
    if (m_port.isOpen())
        m_port.close();
}

// A device that fails while open (an unplugged adapter, a write error) is closed once; the
// unit's next write reports it. A failure to open is the constructor's to report.
void SerialDevice::onError(QSerialPort::SerialPortError error)
{
    if (!m_port.isOpen() || error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    m_error = QStringLiteral("%1: %2").arg(m_path, m_port.errorString());
    hangUp();
}

} // namespace emulator
