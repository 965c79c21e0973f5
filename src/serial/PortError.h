#pragma once

#include <QString>

#include <stdexcept>

namespace serial {

// A failed operation of the serial-port control, with a message for the operator.
class PortError : public std::runtime_error
{
public:
    explicit PortError(const QString& message)
        : std::runtime_error(message.toStdString())
    {
    }
    QString message() const { return QString::fromStdString(what()); }
};

} // namespace serial
