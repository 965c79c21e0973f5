#pragma once

#include "serial/LineSettings.h"

#include <QByteArray>
#include <QObject>

namespace serial {

// A device the serial-port control reads from: a real serial port, or an
// in-memory stand-in for tests. Read-only: nothing is ever transmitted.
class PortBackend : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens the device with the given settings; throws PortError with the
    // system's reason when it cannot.
    virtual void open(const QString& device, const LineSettings& settings) = 0;
    virtual void close() = 0;
    // Applies settings to the open device; throws SettingsRejected and keeps
    // the previous settings in force when the device rejects them. A device
    // that cannot be set back to the previous settings either has failed for
    // good: the SettingsRejected carries why, and the device stays open for
    // its owner to close.
    virtual void apply(const LineSettings& settings) = 0;
    // Every byte received so far and not yet taken.
    virtual QByteArray takeReceived() = 0;
    // Whether bytes have arrived that bytesArrived has not yet announced.
    virtual bool bytesWaiting() const { return false; }

signals:
    void bytesArrived();
    // The open device failed for good (unplugged, hung up, read error).
    void failed(const QString& reason);
};

} // namespace serial
