#pragma once

#include "PlotOptions.h"
#include "recording/RecordingFollower.h"
#include "charts/RunCharts.h"
#include "charts/RunDigest.h"

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

class QLabel;
class QRubberBand;

// bermon-plot --follow: the charts of a recording kept current while a
// recorder appends to it, the newest run in view, with a header that gives
// the run's figures and the verdict so far. The view follows the end of the
// run, or stays where the operator paused or zoomed it while the rows keep
// coming in. Redraws are paced, so a fast recorder cannot make it busy.
class FollowWindow : public QWidget
{
    Q_OBJECT

public:
    explicit FollowWindow(const PlotOptions& options, QWidget* parent = nullptr);
    ~FollowWindow() override;

    // The elapsed time of the last report in the frame drawn last; NaN before one.
    double drawnUntil() const { return m_drawnUntil; }
    bool following() const { return !m_held; }
    // The elapsed times the time axis of the frame drawn last runs between.
    std::pair<double, double> shownRange() const { return {m_geometry.elapsedLow, m_geometry.elapsedHigh}; }
    // The charts of the frame drawn last, and the header drawn with them.
    const RunCharts& charts() const { return m_charts; }
    QString header() const;
    // The shortest time between frames, a second, which a frame's cost
    // stretches; 0, for a test that feeds a run fast, draws each frame as
    // soon as there is something new, whatever it costs.
    void setFramePeriod(int ms) { m_framePeriodMs = ms; }

signals:
    void frameDrawn();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void restartDigests();
    void poll();
    // Reads the rows the file gained, up to a share of a long file; how many.
    qint64 readRows();
    void requestRedraw();
    void redraw();
    // The header: from the run as the frame drawn with it took it, with how
    // the run stands as its charts say, when they have said it already.
    void showHeader(bool live, const std::optional<QString>& standing = {});
    void hold(double low, double high);
    void follow();
    const RunDigest* run() const;
    double elapsedAt(double x) const;
    QRect chartArea() const;

    PlotOptions m_options;
    std::unique_ptr<RunDigests> m_digests;
    std::unique_ptr<RecordingFollower> m_follower;
    QFileSystemWatcher m_watcher;
    QTimer m_pollSoon;  // gathers the watcher's notes: a fast recorder writes a line a millisecond
    QTimer m_fallback;  // for file systems that do not notify
    QTimer m_drawLater; // paces redraws
    QElapsedTimer m_sinceDraw;
    qint64 m_drawCostMs = 0; // of the frame drawn last
    bool m_dirty = false;
    QLabel* m_header = nullptr;
    QRubberBand* m_band = nullptr;
    std::optional<int> m_dragFrom;
    QImage m_frame;
    RunCharts m_charts;
    int m_framePeriodMs = 1000;
    ChartGeometry m_geometry;
    bool m_held = false; // paused or zoomed: the view stays
    std::pair<double, double> m_heldRange;
    double m_drawnUntil = NAN;
    double m_windowSeconds = 0; // the last seconds shown while following; 0: the whole run
};
