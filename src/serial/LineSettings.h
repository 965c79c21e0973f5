#pragma once

#include <QSerialPort>
#include <QString>

#include <array>

namespace serial {

// The baud rates the window's list offers and the tools accept, in the list's order.
inline constexpr std::array<qint32, 6> kBaudRates = {9600, 19200, 28800, 38400, 57600, 115200};

// "9600, 19200, 28800, 38400, 57600 or 115200", for help and error texts.
QString baudRatesText();
// Whether `baud` is one of kBaudRates.
bool isBaudRate(qint64 baud);

// Baud rate, parity, data bits and stop bits, as the text "9600,n,8,1" gives them.
struct LineSettings
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    // Parses "baud,parity,data,stop" as the baud list's texts give them: one of
    // kBaudRates, no parity ("n"), 8 data bits, 1 stop bit. Throws PortError
    // naming the text when it is malformed or asks for anything else.
    static LineSettings parse(const QString& text);
    QString text() const;

    bool operator==(const LineSettings&) const = default;
};

} // namespace serial
