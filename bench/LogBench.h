#pragma once

#include "Measurement.h"

#include <QString>

#include <vector>

namespace bench {

// bermon-log recording one unit at 960 reports/s, taking turns with the bare
// reader at `floorPath`: CPU per report beside the floor's, peak memory, and
// reports not recorded.
std::vector<Figure> benchLogOneUnit(const QString& logPath, const QString& floorPath);

// Sixteen recorders on sixteen pseudo-terminals, each at 960 reports/s: CPU
// and memory per unit, and whole reports not recorded.
std::vector<Figure> benchLogSixteenUnits(const QString& logPath);

// bermon-log on a link with errored seconds, an outage and restarts, at 960
// and at 10 reports a second: CPU per report, median of three runs. With
// `beforePath` (an earlier build of bermon-log) the runs of the two take
// turns, and the figure is met when the median stays within the earlier
// build's median plus its spread plus 10 %.
std::vector<Figure> benchLogErrorPerformance(const QString& logPath, const QString& beforePath);

// The numbered reports, with 0xF1 in the counts of some, at 960, 200, 50 and
// 10 a second: how many are recorded as rows, how many are accounted for in
// `unframed` rows, and how many neither; and the CPU per report at 960/s.
// With `beforePath` the same for an earlier build, beside.
std::vector<Figure> benchLogUnframed(const QString& logPath, const QString& beforePath);

} // namespace bench
