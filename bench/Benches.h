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

// Reports at 10 a second, as real units send them, read by the monitor on the
// offscreen platform and on an X server when Xvfb is installed, by a bare Qt
// window on each as the toolkit's floor, and by cat as the floor: CPU per
// report from the scheduler's account, median of three runs.
std::vector<Figure> benchPaintCost(const QString& probePath, const QString& toolkitFloorPath);

// The monitor's CPU share while idle with the port open and stopped.
std::vector<Figure> benchIdleCpu();

// Time from process start to the window shown, and peak resident memory.
std::vector<Figure> benchStartup(const QString& probePath);

// The cost of the run's upper confidence bound per report, followed from the
// one before and worked out afresh, at a thousand to ten million errors.
std::vector<Figure> benchUpperBound();

// The widths of the error-performance pairs over one link reported at 10, 1
// and 0.2 reports a second.
std::vector<Figure> benchErrorPerformanceWidths();

} // namespace bench
