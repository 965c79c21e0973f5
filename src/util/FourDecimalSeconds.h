#pragma once

#include <QtGlobal>

#include <chrono>
#include <ratio>

namespace util {

// A signed number of seconds with four decimal places, held exactly as a
// count of ten-thousandths of a second. The smallest positive value is
// 0.0001 s.
using FourDecimalSeconds = std::chrono::duration<qint64, std::ratio<1, 10000>>;

} // namespace util
