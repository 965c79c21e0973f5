#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>
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

// Settings that the open device rejects. A device that cannot be set back to
// the settings it had either has failed for good: `lostReason` says why.
class SettingsRejected : public PortError
{
public:
    SettingsRejected(const QString& message, QSerialPort::SerialPortError kind, std::optional<QString> lostReason = {})
        : PortError(message, kind)
        , m_lostReason(std::move(lostReason))
    {
    }
    const std::optional<QString>& lostReason() const { return m_lostReason; }

private:
    std::optional<QString> m_lostReason;
};

} // namespace serial
