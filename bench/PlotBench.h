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

// bermon-plot --follow on an X server of its own: CPU of the window while a
// recorder appends at 10 and at 960 reports a second, beside a bare window
// following the same file (`floorPath`), and the time to the first frame and
// peak memory for a day's recording.
std::vector<Figure> benchFollow(const QString& plotPath, const QString& logPath, const QString& floorPath);

// The live view frame by frame, offscreen: a frame's CPU at 5 minutes and an
// hour into a run at 10 reports a second, and its memory over that hour.
std::vector<Figure> benchLiveFrames();

} // namespace bench
