#pragma once

#include "Measurement.h"

#include <QString>

#include <vector>

namespace bench {

// bermon-plot drawing a recording of 100,000 reports to a PNG file: wall
// time and peak memory of the process.
std::vector<Figure> benchPlot(const QString& plotPath);
// bermon-report and bermon-plot on a day of 10 reports a second: wall time and
// peak memory of each process.
std::vector<Figure> benchDayTools(const QString& plotPath, const QString& reportPath);

} // namespace bench
