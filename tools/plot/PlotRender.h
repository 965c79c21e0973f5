#pragma once

#include "PlotOptions.h"
#include "Recording.h"

// Draws the recording's runs (all, or options.run alone) into options.output,
// a PNG or an SVG file, with Qt Charts on whatever platform the application
// runs (offscreen for bermon-plot). Returns an error message, or nothing.
QString renderPlot(const Recording& recording, const PlotOptions& options);
