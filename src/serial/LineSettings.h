#pragma once

#include <QSerialPort>
#include <QString>

namespace serial {

// Baud rate, parity, data bits and stop bits, as the text "9600,n,8,1" gives them.
struct LineSettings
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    // Parses "baud,parity,data,stop". Throws PortError naming the text when it
    // is malformed or asks for a value the control does not support.
    static LineSettings parse(const QString& text);
    QString text() const;

    bool operator==(const LineSettings&) const = default;
};

} // namespace serial
