#pragma once

#include "charts/RunDigest.h"

#include <QPainter>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <memory>
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
    // The last run is still going: its words speak of a run under way, and
    // the seconds its availability may still revise are drawn as provisional.
    bool live = false;
    // Columns a curve is drawn in, at most four points each; 0: one a pixel.
    int columns = 0;
    // How the last run stands (runStanding()) when the caller has worked it
    // out already for the words beside the charts; else it is worked out here.
    std::optional<QString> standing = std::nullopt;
    // Curves in lines of one pixel, for charts drawn frame after frame: a
    // wider line costs several times as much to draw.
    bool thinLines = false;
};

// Where the charts' common time axis went in the painter's target: for one
// run, x from plotLeft to plotRight shows elapsed seconds from elapsedLow to
// elapsedHigh.
struct ChartGeometry
{
    double plotLeft = 0, plotRight = 0;
    double elapsedLow = 0, elapsedHigh = 0;
};

// How the run stands, in one line: the verdict once it has stopped; while it
// is under way (`live`), what a decision needs and the time of --duration left.
// Empty when no limit gives a verdict.
QString runStanding(const RunDigest& run, bool live);

// The title the charts of `runs` carry: `layout.title` or one made from the
// runs' analysis, and how the last of them stands when it has limits.
QString chartsTitle(const std::vector<const RunDigest*>& runs, const ChartLayout& layout);

// The charts of runs, kept between frames: the BER with its bounds and limit,
// the errors of each report interval, and a strip of every second, with the
// runs' events marked on the time axis. The charts and their series are made
// once; each update() only refills the series' points and the axes' ranges,
// so a live view pays for its points, not for building charts.
class RunCharts
{
public:
    RunCharts();
    ~RunCharts();
    RunCharts(const RunCharts&) = delete;
    RunCharts& operator=(const RunCharts&) = delete;

    // Takes the runs as they stand now. One run is drawn along its elapsed
    // time, several along wall-clock time. `runs` holds at least one run with
    // a report.
    void update(const std::vector<const RunDigest*>& runs, const ChartLayout& layout);
    // Draws the charts as last updated into `target`.
    ChartGeometry render(QPainter& painter, const QRectF& target);

    // What the charts say, for whoever must show the same: the title, and the
    // names of the legends' entries in sight.
    QString title() const;
    // The title as the drawn charts show it, its lines joined by blanks.
    QString drawnTitle() const;
    QStringList legend() const;
    // The series the charts hold: a handful, however many events the runs have.
    int seriesCount() const;

private:
    struct Kept;
    std::unique_ptr<Kept> m;
};

// Draws the charts of the runs into `target` with Qt Charts, on whatever
// platform the application runs: RunCharts made, updated once and rendered.
ChartGeometry drawRunCharts(QPainter& painter, const QRectF& target, const std::vector<const RunDigest*>& runs,
                            const ChartLayout& layout);
