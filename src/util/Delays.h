#pragma once

#include "util/Clock.h"
#include "util/FourDecimalSeconds.h"

#include <QtGlobal>

// Two busy waits. Neither sleeps: both poll their clock for the whole wait,
// and each measures from its own start.
namespace util {

// Holds the calling thread until tt seconds have passed on the
// high-resolution counter; no event is handled meanwhile. The counter is read
// at least once after the start reading, so a tt of 0 or less returns at the
// first reading after the start. Throws std::domain_error when the counter
// frequency is not positive.
void timedelay(const FourDecimalSeconds& tt, Clock& clock = systemClock());

// Waits until the tick count is more than time milliseconds past its start
// reading, letting pending events run before every reading (so at least
// once). time is read again on every turn: an event handler that changes the
// caller's variable, or runs a delay of its own, during the wait is allowed.
void delay(const qint32& time, Clock& clock = systemClock());

} // namespace util
