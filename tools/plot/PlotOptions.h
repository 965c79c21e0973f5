#pragma once

#include "measurement/RunSettings.h"
#include "util/CommandLine.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the command line of bermon-plot asks for.
struct PlotOptions
{
    bool showHelp = false;
    bool showVersion = false;
    QString input;
    QString output; // .png or .svg
    int width = 1200;
    int height = 800;
    QString title; // empty: made from the recording
    int run = 0;   // 1-based; 0: every run along wall-clock time
    // Limits in place of the run's own: --max-ber and the error-performance ones.
    measurement::RunSettings limits;
    bool follow = false;        // a window kept current while the file grows
    double windowSeconds = 600; // --follow: the last seconds in view; 0: the whole run
};

using ParsedPlotOptions = util::ParsedOptions<PlotOptions>;

ParsedPlotOptions parsePlotOptions(const QStringList& arguments);
QString plotHelpText();
// The keys and the mouse of the --follow window.
QString followControlsText();
