#pragma once

#include "charts/RunDigest.h"

#include <QPainter>
#include <QRectF>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

// How the charts of a recording are laid out: on a scene of `width` by
// `height` pixels, which the painter's target scales.
struct ChartLayout
{
    int width = 1200;
    int height = 800;
    QString title; // empty: made from the runs
    // One run only: the part of it to show, in elapsed seconds; else the whole run.
    std::optional<std::pair<double, double>> elapsedRange;
};

// Where the charts' common time axis went in the painter's target: for one
// run, x from plotLeft to plotRight shows elapsed seconds from elapsedLow to
// elapsedHigh.
struct ChartGeometry
{
    double plotLeft = 0, plotRight = 0;
    double elapsedLow = 0, elapsedHigh = 0;
};

// The title the charts of `runs` carry: `layout.title` or one made from the
// runs, and the verdict on the last of them when it has limits.
QString chartsTitle(const std::vector<const RunDigest*>& runs, const ChartLayout& layout);

// Draws the charts of the runs into `target` with Qt Charts, on whatever
// platform the application runs: the BER with its bounds and limit, the PER,
// and a strip of every second. One run is drawn along its elapsed time,
// several along wall-clock time. `runs` holds at least one run with a report.
ChartGeometry drawRunCharts(QPainter& painter, const QRectF& target, const std::vector<const RunDigest*>& runs,
                            const ChartLayout& layout);
