#include "util/Delays.h"

#include <QtNumeric>

#include <stdexcept>
#include <string>

namespace util {

namespace {

// Seconds between two counter readings. The readings are subtracted as
// integers so that large readings keep every count.
double elapsedSeconds(qint64 start, qint64 now, qint64 frequency)
{
    // A frequency of 0 would divide by zero, and a negative one would make
    // the elapsed time run backwards and the wait never end.
    if (frequency <= 0)
        throw std::domain_error("timedelay: the performance counter frequency is " + std::to_string(frequency)
                                + " counts per second");
    qint64 counts = 0;
    if (qSubOverflow(now, start, &counts))
        throw std::overflow_error("timedelay: the counter readings are too far apart");
    return static_cast<double>(counts) / static_cast<double>(frequency);
}

} // namespace

void timedelay(const FourDecimalSeconds& tt, Clock& clock)
{
    const qint64 frequency = clock.performanceFrequency();
    const qint64 start = clock.performanceCounter();
    const double wait = std::chrono::duration<double>(tt).count();
    while (elapsedSeconds(start, clock.performanceCounter(), frequency) < wait) { }
}

void delay(const qint32& time, Clock& clock)
{
    // The elapsed time is summed turn by turn from the differences of
    // successive readings, each formed modulo 2^32. The moments at which the
    // 32-bit tick count passes 2^31 (a signed reading jumps from 2147483647 to
    // -2147483648) and 2^32 (it goes from 0xFFFFFFFF to 0) therefore change
    // nothing, and the sum is the true number of milliseconds however long
    // the wait, so even a time of 2147483647 ms comes to an end.
    quint32 previous = clock.tickCount();
    qint64 elapsed = 0;
    for (;;) {
        clock.processEvents();
        const quint32 now = clock.tickCount();
        elapsed += quint32(now - previous);
        previous = now;
        if (elapsed > time)
            return;
    }
}

} // namespace util
