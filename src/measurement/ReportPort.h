#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace measurement {

// The one event kind the serial control's CommEvent reports and the report
// handler acts on: at least the receive threshold of bytes waits.
inline constexpr qint16 kCommEventReceive = 2;

// What the report handler needs of the serial port. Either call may throw.
class ReportPort
{
public:
    virtual ~ReportPort() = default;
    // Kind of the event being signalled, one of the serial control's kinds.
    virtual qint16 commEvent() const = 0;
    // Every waiting byte, oldest first; removes them from the receive buffer.
    virtual QByteArray input() = 0;
};

} // namespace measurement
