#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What the command line of bermon-plot asks for.
struct PlotOptions
{
    bool showHelp = false;
    QString input;
    QString output; // .png or .svg
    int width = 1200;
    int height = 800;
    QString title;                // empty: made from the recording
    int run = 0;                  // 1-based; 0: every run along wall-clock time
    std::optional<double> maxBer; // in place of the run's own BER limit
};

struct ParsedPlotOptions
{
    PlotOptions options;
    QString error; // names the option or argument at fault

    bool ok() const { return error.isEmpty(); }
};

ParsedPlotOptions parsePlotOptions(const QStringList& arguments);
QString plotHelpText();
