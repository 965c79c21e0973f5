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

} // namespace bench
