#pragma once

#include "emulator/PseudoTerminal.h"

#include <atomic>
#include <vector>

namespace bench {

inline constexpr int kNumberedReports = 10'000;

// Writes reports 1 .. kNumberedReports on the line, 960 a second and never
// two closer than one report time at 115200 baud, even when the writing
// thread wakes late. Report i carries i as its bit-error count; writtenAt[i]
// is the moment its bytes were written.
void writeNumberedReports(emulator::PseudoTerminal& line, std::vector<std::atomic<double>>& writtenAt);

} // namespace bench
