#pragma once

#include <QSerialPort>
#include <QString>

#include <stdexcept>

namespace serial {

// A failed operation of the serial-port control, with a message for the
// operator and the kind of failure, so that callers never read the message.
class PortError : public std::runtime_error
{
public:
    explicit PortError(const QString& message, QSerialPort::SerialPortError kind = QSerialPort::UnknownError)
        : std::runtime_error(message.toStdString())
        , m_kind(kind)
    {
    }
    QString message() const { return QString::fromStdString(what()); }
    QSerialPort::SerialPortError kind() const { return m_kind; }

private:
    QSerialPort::SerialPortError m_kind;
};

} // namespace serial
