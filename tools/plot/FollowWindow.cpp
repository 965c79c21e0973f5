#include "FollowWindow.h"

#include "measurement/RunAnalysis.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QRubberBand>
#include <QVBoxLayout>

#include <cmath>

namespace {

// At most one redraw a second (the window's frame period), and fewer when a
// frame costs more than a sixtieth of the time between frames: a live view
// that updates every second or two is current enough for a soak test.
constexpr int kRedrawCostShare = 60;
// A live curve is drawn in a column every few pixels, at most four points
// each: the kept charts' cost is their points, and a live view needs no more.
constexpr int kPixelsPerLiveColumn = 12;
constexpr int kFewestLiveColumns = 100;
// A long file is read in pieces of this size, the window drawn in between.
constexpr qint64 kCatchUpBytes = 8 << 20;
constexpr int kPollGatherMs = 150;
constexpr int kFallbackPollMs = 1000;
// A view of the last seconds moves on in tenths of them.
constexpr int kWindowSteps = 10;
// The shortest time axis of a live view: each move of the axis lays the
// charts out anew, every label, about 20 ms.
constexpr double kLeastLiveSeconds = 60;

// `seconds` rounded up to a round number of the unit the time axis will
// show them in: 1, 1.2, 1.5, 2, 2.5, 3, 4, 5, 6 or 8 of a decade, so at
// most a third more.
double roundedUp(double seconds)
{
    double rounded = seconds;
    for (const double unit : {1.0, 60.0, 3600.0}) {
        if (unit > 1 && rounded <= 3 * unit)
            break; // the axis stays in the smaller unit
        const double span = seconds / unit;
        const double decade = std::pow(10, std::floor(std::log10(span)));
        for (const double step : {1.0, 1.2, 1.5, 2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0, 10.0})
            if (step * decade >= span * (1 - 1e-12)) {
                rounded = step * decade * unit;
                break;
            }
    }
    return rounded;
}

// The part of a run from `start` to `end` that a following view shows: the
// whole run, or its last `window` seconds (0: no window). The time axis runs
// ahead of the run to a round end, so that most frames change only the
// curves' points, not the axis with its labels and every series' place on
// it; the axis moves on when the run reaches its end. A run's first minute
// is shown on an axis of a minute, which stays while it fills.
std::pair<double, double> followedRange(double start, double end, double window)
{
    const double span = std::max(end - start, kLeastLiveSeconds);
    if (window <= 0 || span <= window)
        return {start, start + (window > 0 ? std::min(roundedUp(span), window) : roundedUp(span))};
    const double step = window / kWindowSteps;
    const double high = start + std::ceil(span / step) * step;
    return {high - window, high};
}

} // namespace

FollowWindow::FollowWindow(const PlotOptions& options, QWidget* parent)
    : QWidget(parent)
    , m_options(options)
    , m_windowSeconds(options.windowSeconds)
{
    setWindowTitle(QStringLiteral("%1 — bermon-plot").arg(QFileInfo(options.input).fileName()));
    m_header = new QLabel(this);
    m_header->setTextFormat(Qt::PlainText);
    m_header->setWordWrap(true);
    m_header->setContentsMargins(8, 6, 8, 2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_header);
    layout->addStretch(1);
    m_band = new QRubberBand(QRubberBand::Rectangle, this);
    setToolTip(followControlsText());
    setFocusPolicy(Qt::StrongFocus);
    resize(options.width, options.height);

    restartDigests();
    m_follower = std::make_unique<RecordingFollower>(
        options.input, [this](const ReadRow& row, int number) { m_digests->add(row, number); },
        [this] { restartDigests(); });

    m_pollSoon.setSingleShot(true);
    m_pollSoon.setInterval(kPollGatherMs);
    connect(&m_pollSoon, &QTimer::timeout, this, &FollowWindow::poll);
    // A frame that is due reads the file itself, just before it is drawn.
    const auto pollSoon = [this] {
        if (!m_pollSoon.isActive() && !m_drawLater.isActive())
            m_pollSoon.start();
    };
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, pollSoon);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, pollSoon);
    m_watcher.addPath(QFileInfo(options.input).absolutePath());
    m_fallback.setInterval(kFallbackPollMs);
    connect(&m_fallback, &QTimer::timeout, this, &FollowWindow::poll);
    m_fallback.start();
    m_drawLater.setSingleShot(true);
    connect(&m_drawLater, &QTimer::timeout, this, &FollowWindow::redraw);
    QTimer::singleShot(0, this, &FollowWindow::poll);
}

FollowWindow::~FollowWindow() = default;

void FollowWindow::restartDigests()
{
    RunDigests::Choice choice;
    choice.keep = RunDigests::Keep::Last;
    choice.columns = std::max(kFewestLiveColumns, m_options.width / kPixelsPerLiveColumn);
    // Finer columns over the last two windows, so that a view of the last
    // minutes of a long run is as sharp as one of a short run.
    choice.latestSeconds = m_options.windowSeconds > 0 ? 2 * m_options.windowSeconds : 0;
    choice.limits = m_options.limits;
    choice.override = true;
    m_digests = std::make_unique<RunDigests>(choice);
    m_drawnUntil = NAN;
    m_dirty = true;
}

const RunDigest* FollowWindow::run() const
{
    return m_digests->runs().empty() ? nullptr : m_digests->runs().back().get();
}

qint64 FollowWindow::readRows()
{
    const qint64 lines = m_follower->poll(kCatchUpBytes);
    if (m_follower->shareRead() < 1)
        QTimer::singleShot(0, this, &FollowWindow::poll); // the rest once the window has had its turn
    // A file replaced under the same name is watched anew.
    if (m_follower->exists() && !m_watcher.files().contains(m_options.input))
        m_watcher.addPath(m_options.input);
    return lines;
}

void FollowWindow::poll()
{
    if (readRows() > 0)
        requestRedraw();
    else if (!run() || !m_follower->error().isEmpty() || !m_follower->exists())
        showHeader(run() && !run()->last().is(RowEvent::Stopped)); // waiting: nothing else changed
}

void FollowWindow::requestRedraw()
{
    m_dirty = true;
    if (m_drawLater.isActive())
        return;
    const qint64 pace = m_framePeriodMs == 0 ? 0 : std::max<qint64>(m_framePeriodMs, kRedrawCostShare * m_drawCostMs);
    const qint64 since = m_sinceDraw.isValid() ? m_sinceDraw.elapsed() : pace;
    m_drawLater.start(int(std::max<qint64>(0, pace - since)));
}

QRect FollowWindow::chartArea() const
{
    const int top = m_header->geometry().bottom() + 1;
    return QRect(0, top, width(), std::max(1, height() - top));
}

void FollowWindow::redraw()
{
    readRows(); // what came since the frame was asked for: the frame ends on the newest row
    m_sinceDraw.start();
    m_dirty = false;
    const RunDigest* digest = run();
    // Header, title, charts and strip from this one reading of the run.
    const bool live = digest && !digest->last().is(RowEvent::Stopped);
    const std::optional<QString> standing = digest ? std::optional(runStanding(*digest, live)) : std::nullopt;
    showHeader(live, standing);
    const QRect area = chartArea();
    if (!digest || !digest->lastReport() || area.width() < 50 || area.height() < 50) {
        m_frame = QImage();
        update();
        return;
    }
    ChartLayout layout{area.width(), area.height(), m_options.title, {}};
    layout.live = live;
    layout.columns = std::max(kFewestLiveColumns, area.width() / kPixelsPerLiveColumn);
    layout.thinLines = true;
    layout.standing = standing;
    if (m_held)
        layout.elapsedRange = m_heldRange;
    else if (live)
        layout.elapsedRange = followedRange(digest->started().elapsed, digest->last().elapsed, m_windowSeconds);
    else if (m_windowSeconds > 0 && digest->last().elapsed - digest->started().elapsed > m_windowSeconds)
        layout.elapsedRange = std::pair{digest->last().elapsed - m_windowSeconds, digest->last().elapsed};
    const QSize pixels = area.size() * devicePixelRatioF();
    if (m_frame.size() != pixels) {
        m_frame = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_frame.setDevicePixelRatio(devicePixelRatioF());
    }
    QElapsedTimer cost;
    cost.start();
    m_charts.update({digest}, layout);
    QPainter painter(&m_frame);
    painter.setRenderHint(QPainter::Antialiasing);
    m_geometry = m_charts.render(painter, QRectF(0, 0, area.width(), area.height()));
    painter.end();
    m_drawCostMs = cost.elapsed();
    m_drawnUntil = digest->lastReport()->elapsed;
    update();
    emit frameDrawn();
}

QString FollowWindow::header() const
{
    return m_header->text();
}

void FollowWindow::showHeader(bool live, const std::optional<QString>& standing)
{
    const RunDigest* digest = run();
    if (!m_follower->error().isEmpty()) {
        m_header->setText(m_follower->error() + QStringLiteral(" — waiting for the file to be replaced"));
        return;
    }
    if (!digest) {
        m_header->setText(m_follower->exists() ? QStringLiteral("%1: waiting for a run to start").arg(m_options.input)
                                               : QStringLiteral("%1: waiting for the file").arg(m_options.input));
        return;
    }
    const measurement::RunAnalysis& analysis = digest->analysis();
    const measurement::RunSettings& settings = analysis.settings();
    const double elapsed = digest->last().elapsed - digest->started().elapsed;
    QStringList first{digest->recorded().device};
    if (!digest->recorded().unit.isEmpty())
        first << QStringLiteral("unit %1").arg(digest->recorded().unit);
    first << measurement::clockText(qint64(elapsed * 1000)) << QStringLiteral("%1 reports").arg(analysis.reports())
          << QStringLiteral("%1 bits").arg(measurement::figureText(double(analysis.bits())))
          << QStringLiteral("%1 bit errors").arg(analysis.bitErrors())
          << QStringLiteral("%1 lost frames").arg(analysis.lostFrames());
    if (const size_t restarts = digest->linkEventLog().restarts().size(); restarts > 0)
        first << QStringLiteral("counts went down %1 times").arg(restarts);
    if (analysis.bits() > 0)
        first << QStringLiteral("BER %1, below %2 at %3 %")
                     .arg(measurement::figureText(double(analysis.bitErrors()) / double(analysis.bits())),
                          measurement::figureText(analysis.berUpper()))
                     .arg(settings.confidence * 100);
    // The same words as the charts' title.
    QString second = standing ? *standing : runStanding(*digest, live);
    if (second.isEmpty())
        second = QStringLiteral("no limit: no verdict (--max-ber and the error-performance limits give one)");
    else if (!live)
        second += QStringLiteral(" (stopped)");
    if (m_held)
        second += QStringLiteral(" — paused; F follows again");
    if (m_follower->shareRead() < 1)
        second += QStringLiteral(" — reading the file: %1 %").arg(int(m_follower->shareRead() * 100));
    // The run shown stays until another file comes under the name.
    if (!m_follower->exists())
        second += QStringLiteral(" — %1 is gone: waiting for it").arg(m_options.input);
    m_header->setText(first.join(QStringLiteral(" · ")) + u'\n' + second);
}

void FollowWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = chartArea();
    painter.fillRect(area, Qt::white);
    if (!m_frame.isNull())
        painter.drawImage(area.topLeft(), m_frame);
}

void FollowWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    requestRedraw();
}

double FollowWindow::elapsedAt(double x) const
{
    const ChartGeometry& g = m_geometry;
    if (g.plotRight <= g.plotLeft)
        return g.elapsedLow;
    const double share = std::clamp((x - g.plotLeft) / (g.plotRight - g.plotLeft), 0.0, 1.0);
    return g.elapsedLow + share * (g.elapsedHigh - g.elapsedLow);
}

void FollowWindow::hold(double low, double high)
{
    const RunDigest* digest = run();
    if (!digest || !(high > low))
        return;
    m_held = true;
    m_heldRange = {std::max(low, digest->started().elapsed), std::min(high, digest->last().elapsed)};
    if (m_heldRange.second - m_heldRange.first < 1) // no closer than a second
        m_heldRange = {low, low + 1};
    requestRedraw();
}

void FollowWindow::follow()
{
    m_held = false;
    requestRedraw();
}

void FollowWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Quit) || (event->key() == Qt::Key_Q && event->modifiers() & Qt::ControlModifier)) {
        close();
    } else if (event->key() == Qt::Key_Space || event->key() == Qt::Key_P) {
        if (m_held) {
            follow();
        } else { // the view as it stands
            m_held = true;
            m_heldRange = {m_geometry.elapsedLow, m_geometry.elapsedHigh};
            requestRedraw();
        }
    } else if (event->key() == Qt::Key_F || event->key() == Qt::Key_End || event->key() == Qt::Key_Escape) {
        follow();
    } else if (event->key() == Qt::Key_A) {
        m_windowSeconds = m_windowSeconds > 0 ? 0 : m_options.windowSeconds > 0 ? m_options.windowSeconds : 600;
        follow();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void FollowWindow::wheelEvent(QWheelEvent* event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0 || m_frame.isNull())
        return;
    const double at = elapsedAt(event->position().x());
    const double factor = std::pow(0.8, steps); // forward: closer
    hold(at - (at - m_geometry.elapsedLow) * factor, at + (m_geometry.elapsedHigh - at) * factor);
}

void FollowWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !chartArea().contains(event->position().toPoint()))
        return;
    m_dragFrom = int(event->position().x());
    m_band->setGeometry(QRect(*m_dragFrom, chartArea().top(), 1, chartArea().height()));
    m_band->show();
}

void FollowWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragFrom)
        return;
    const int x = int(event->position().x());
    m_band->setGeometry(
        QRect(std::min(x, *m_dragFrom), chartArea().top(), std::abs(x - *m_dragFrom) + 1, chartArea().height()));
}

void FollowWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragFrom)
        return;
    const int from = *m_dragFrom, to = int(event->position().x());
    m_dragFrom.reset();
    m_band->hide();
    if (std::abs(to - from) >= 4) // a click is no stretch
        hold(elapsedAt(std::min(from, to)), elapsedAt(std::max(from, to)));
}
