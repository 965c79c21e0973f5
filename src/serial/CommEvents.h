#pragma once

#include <QtGlobal>

namespace serial {

// The event kinds that the serial control's CommEvent reports. It raises one:
// at least the receive threshold of bytes waits.
inline constexpr qint16 kCommEventReceive = 2;

} // namespace serial
