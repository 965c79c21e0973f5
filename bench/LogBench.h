#pragma once

#include "Measurement.h"

#include <QString>

#include <vector>

namespace bench {

// bermon-log recording one unit at 960 reports/s: CPU per report, peak
// memory, and reports not recorded.
std::vector<Figure> benchLogOneUnit(const QString& logPath);

// Sixteen recorders on sixteen pseudo-terminals, each at 960 reports/s: CPU
// and memory per unit, and whole reports not recorded.
std::vector<Figure> benchLogSixteenUnits(const QString& logPath);

// bermon-log on a link with errored seconds, an outage and restarts, at 960
// and at 10 reports a second: CPU per report, median of three runs. With
// `beforePath` (an earlier build of bermon-log) the runs of the two take
// turns, and the figure is met when the median stays within the earlier
// build's median plus its spread plus 10 %.
std::vector<Figure> benchLogErrorPerformance(const QString& logPath, const QString& beforePath);

} // namespace bench
