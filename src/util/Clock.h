#pragma once

#include <QtGlobal>

namespace util {

// The platform calls the waits rely on: a high-resolution counter, a 32-bit
// millisecond tick count and the event pump. Tests put a clock of their own
// in its place.
class Clock
{
public:
    virtual ~Clock() = default;

    // Counts per second of performanceCounter().
    virtual qint64 performanceFrequency() = 0;
    // Current count of the high-resolution counter.
    virtual qint64 performanceCounter() = 0;
    // Milliseconds since system start, truncated to 32 bits; wraps about
    // every 49.7 days.
    virtual quint32 tickCount() = 0;
    // Lets pending events run on the calling thread, then returns.
    virtual void processEvents() = 0;
};

// The steady clock of the machine and the application's event loop.
class SystemClock final : public Clock
{
public:
    qint64 performanceFrequency() override;
    qint64 performanceCounter() override;
    quint32 tickCount() override;
    // Does nothing while no QCoreApplication exists.
    void processEvents() override;
};

// The one system clock shared by all callers.
Clock& systemClock();

} // namespace util
