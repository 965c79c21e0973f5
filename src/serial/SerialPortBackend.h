#pragma once

#include "serial/PortBackend.h"

#include <QSerialPort>

namespace serial {

// Real devices and pseudo-terminals, through QSerialPort.
class SerialPortBackend final : public PortBackend
{
    Q_OBJECT
public:
    explicit SerialPortBackend(QObject* parent = nullptr);

    void open(const QString& device, const LineSettings& settings) override;
    void close() override;
    void apply(const LineSettings& settings) override;
    QByteArray takeReceived() override;
    bool bytesWaiting() const override;

private:
    void onErrorOccurred(QSerialPort::SerialPortError error);
    bool configure(const LineSettings& settings);

    QSerialPort m_port;
    QString m_device;
    LineSettings m_settings;
};

} // namespace serial
