#pragma once

#include "emulator/PseudoTerminal.h"

#include <atomic>
#include <vector>

namespace bench {

inline constexpr int kNumberedReports = 10'000;

// How the reports' bytes go to the line.
enum class Writes {
    WholeReports, // one write a report
    UsbPieces,    // each write the rest of one report and a random head of the next, as a USB adapter delivers them
};

// Writes reports 1 .. `reports` on the line, `perSecond` a second and never
// two closer than one report time at 115200 baud, even when the writing
// thread wakes late. Report i counts i received frames and i bit errors;
// writtenAt[i] is the moment its last byte was written.
void writeNumberedReports(emulator::PseudoTerminal& line, std::vector<std::atomic<double>>& writtenAt,
                          Writes writes = Writes::WholeReports, double perSecond = 960, int reports = kNumberedReports);

// Writes `reports` reports of a link test at `perSecond` a second, as a unit
// sends them: 38,400 frames a second, an error event of 5 frames every half
// second, sync lost from 10 s to 22 s of the run (every frame lost), and a new
// test period whenever a count would pass 65535. Exercises every figure of
// the error performance: errored, severely errored and unavailable seconds,
// restarts, seconds split between reports.
void writeLinkReports(emulator::PseudoTerminal& line, double perSecond, int reports);

} // namespace bench
