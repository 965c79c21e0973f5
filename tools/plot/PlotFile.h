#pragma once

#include "PlotOptions.h"
#include "charts/RunDigest.h"

// Reads the recording options.input asks for and draws the runs it asks for
// (all, or options.run alone) into options.output, a PNG or an SVG file.
// Warnings go to `warnings`. Returns an error message, or nothing.
QString writePlot(const PlotOptions& options, QStringList& warnings);
