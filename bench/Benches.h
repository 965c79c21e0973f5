#pragma once

#include "Measurement.h"

#include <QString>

#include <vector>

namespace bench {

// CPU time per accepted report through the real report handler and widgets.
std::vector<Figure> benchReportPath();

// Reports written on a pseudo-terminal at 960 a second, whole and in pieces:
// how stale the window gets, whether it ever shows counts that were not sent
// or misses the last report, and the monitor's CPU share while running.
std::vector<Figure> benchEndToEnd();

// The same line read by a bare poll/read loop, for reference.
std::vector<Figure> benchPtyFloor();

// The monitor's CPU share while idle with the port open and stopped.
std::vector<Figure> benchIdleCpu();

// Time from process start to the window shown, and peak resident memory.
std::vector<Figure> benchStartup(const QString& probePath);

} // namespace bench
