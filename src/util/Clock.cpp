#include "util/Clock.h"

#include <QCoreApplication>

#include <chrono>

namespace util {

namespace {

using CounterTick = std::chrono::nanoseconds;

} // namespace

qint64 SystemClock::performanceFrequency()
{
    return CounterTick::period::den / CounterTick::period::num;
}

qint64 SystemClock::performanceCounter()
{
    return std::chrono::duration_cast<CounterTick>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

quint32 SystemClock::tickCount()
{
    // On Linux the steady clock counts from boot (CLOCK_MONOTONIC); keeping
    // the low 32 bits gives the same wrap as a 32-bit tick count.
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<quint32>(milliseconds.count());
}

void SystemClock::processEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

Clock& systemClock()
{
    static SystemClock clock;
    return clock;
}

} // namespace util
