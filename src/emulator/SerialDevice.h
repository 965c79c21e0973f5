#pragma once

#include "emulator/LineEnd.h"

#include <QSerialPort>

namespace emulator {

// A serial device the unit sends on: 8 data bits, no parity, 1 stop bit, no flow control.
class SerialDevice final : public LineEnd
{
public:
    // Opens `path` for writing at `baudRate`; isOpen() and errorString() tell how that went.
    SerialDevice(const QString& path, int baudRate);
    ~SerialDevice() override;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    bool write(const QByteArray& bytes) override;
    void hangUp() override;
    bool isOpen() const override { return m_port.isOpen(); }
    QString errorString() const override { return m_error; }

private:
    void onError(QSerialPort::SerialPortError error);

    QString m_path;
    QSerialPort m_port;
    QString m_error;
};

} // namespace emulator
