#include "charts/RunCharts.h"

#include "measurement/Availability.h"
#include "measurement/Rates.h"

#include <QAreaSeries>
#include <QChart>
#include <QCoreApplication>
#include <QDateTimeAxis>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPainter>
#include <QScatterSeries>
#include <QTextDocument>
#include <QTimeZone>
#include <QValueAxis>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <tuple>
#include <utility>

namespace {

// One curve of the plot: its points in every run, drawn as stretches with gaps.
struct Curve
{
    QString name;
    QPen pen;
    QList<QList<QPointF>> stretches;
};

// At most the first, lowest, highest and last point of each column: a day of
// reports draws as fast as a minute, and no peak is lost.
QList<QPointF> thinned(const QList<QPointF>& points, double xLow, double xHigh, int columns)
{
    if (points.size() <= 4 * columns)
        return points;
    QList<QPointF> out;
    const double perColumn = (xHigh - xLow) / columns;
    qsizetype first = 0;
    while (first < points.size()) {
        const qint64 column = qint64((points[first].x() - xLow) / perColumn);
        qsizetype last = first, low = first, high = first;
        while (last + 1 < points.size() && qint64((points[last + 1].x() - xLow) / perColumn) == column) {
            ++last;
            if (points[last].y() < points[low].y())
                low = last;
            if (points[last].y() > points[high].y())
                high = last;
        }
        for (const qsizetype i : {first, std::min(low, high), std::max(low, high), last})
            if (out.isEmpty() || out.last() != points[i])
                out << points[i];
        first = last + 1;
    }
    return out;
}

// Stretches whose gap is narrower than two columns joined: such a gap cannot
// be seen, and every series costs the chart time for every other one.
QList<QList<QPointF>> joinedAcrossHiddenGaps(const QList<QList<QPointF>>& stretches, double minGap)
{
    QList<QList<QPointF>> out;
    for (const QList<QPointF>& stretch : stretches) {
        if (!out.isEmpty() && stretch.first().x() - out.last().last().x() < minGap)
            out.last() += stretch;
        else
            out << stretch;
    }
    return out;
}

// A count of each report interval as a step: the value holds from the report
// before to its own. Counts of 0 lie on `floor`, the bottom of a log axis.
QList<QPointF> steps(const QList<QPointF>& points, double floor)
{
    QList<QPointF> out;
    out.reserve(points.size() * 2);
    for (qsizetype i = 0; i < points.size(); ++i) {
        const double y = std::max(points[i].y(), floor);
        if (i > 0)
            out << QPointF(points[i - 1].x(), y);
        out << QPointF(points[i].x(), y);
    }
    return out;
}

// The legend's own markers tell whether they show only once the legend is
// laid out: the series says too, for RunCharts::legend().
constexpr char kInLegend[] = "inLegend";

void showInLegend(QChart& chart, QAbstractSeries* series, bool shown)
{
    const QVariant was = series->property(kInLegend);
    if (was.isValid() && was.toBool() == shown)
        return; // the legend's layout left alone
    for (QLegendMarker* marker : chart.legend()->markers(series))
        marker->setVisible(shown);
    series->setProperty(kInLegend, shown);
}

// A curve on a chart, kept between frames: a line series a stretch, and one
// scatter series for the lone points of stretches of one (a line of one point
// shows nothing). Series are made as more stretches come and emptied when
// fewer do; one entry in the legend.
class KeptCurve
{
public:
    // `thin`: one-pixel lines of the same colour and dash, which cost a
    // fraction of wider ones to draw.
    void attach(QChart* chart, QAbstractAxis* x, QAbstractAxis* y, const QPen& pen, bool thin)
    {
        m_chart = chart;
        m_x = x;
        m_y = y;
        m_pen = pen;
        if (thin)
            m_pen.setWidth(0);
        m_lone = new QScatterSeries;
        m_lone->setMarkerSize(4);
        m_lone->setColor(pen.color());
        m_lone->setBorderColor(pen.color());
        add(m_lone);
    }

    void fill(const Curve& curve, double xLow, double xHigh, int columns)
    {
        QList<QPointF> lone;
        size_t used = 0;
        for (const QList<QPointF>& stretch : joinedAcrossHiddenGaps(curve.stretches, 2 * (xHigh - xLow) / columns)) {
            if (stretch.size() == 1) {
                lone << stretch.first();
                continue;
            }
            if (used == m_lines.size()) {
                auto* line = new QLineSeries;
                line->setPen(m_pen);
                add(line);
                m_lines.push_back(line);
            }
            m_lines[used++]->replace(thinned(stretch, xLow, xHigh, columns));
        }
        for (size_t i = used; i < m_lines.size(); ++i)
            m_lines[i]->clear();
        m_lone->replace(lone);
        // The legend names the curve once, by the first series that shows it.
        QXYSeries* named = used > 0 ? static_cast<QXYSeries*>(m_lines.front()) : lone.isEmpty() ? nullptr : m_lone;
        for (QXYSeries* series : all()) {
            series->setName(curve.name);
            showInLegend(*m_chart, series, series == named);
        }
    }

    bool empty() const
    {
        for (const QXYSeries* series : all())
            if (series->count() > 0)
                return false;
        return true;
    }

private:
    void add(QXYSeries* series)
    {
        m_chart->addSeries(series);
        series->attachAxis(m_x);
        series->attachAxis(m_y);
    }
    std::vector<QXYSeries*> all() const
    {
        std::vector<QXYSeries*> out(m_lines.begin(), m_lines.end());
        out.push_back(m_lone);
        return out;
    }

    QChart* m_chart = nullptr;
    QAbstractAxis* m_x = nullptr;
    QAbstractAxis* m_y = nullptr;
    QPen m_pen;
    std::vector<QLineSeries*> m_lines;
    QScatterSeries* m_lone = nullptr;
};

// Bands across a chart's height, one area series for all of them: a mark a
// band, however many there are. Bands narrower than `minWidth` widen to it
// about their middle.
class KeptBands
{
public:
    void attach(QChart* chart, QAbstractAxis* x, QAbstractAxis* y, const QBrush& brush)
    {
        m_chart = chart;
        // An area series does not own its lines: the area is their parent.
        m_area = new QAreaSeries;
        m_area->setUpperSeries(new QLineSeries(m_area));
        m_area->setLowerSeries(new QLineSeries(m_area));
        m_area->setPen(Qt::NoPen);
        m_area->setBrush(brush);
        chart->addSeries(m_area);
        m_area->attachAxis(x);
        m_area->attachAxis(y);
        // A band's sample is a square of its colour, whatever the legend's other samples are.
        for (QLegendMarker* marker : chart->legend()->markers(m_area)) {
            marker->setShape(QLegend::MarkerShapeRectangle);
            marker->setBrush(brush);
        }
    }

    void fill(const std::vector<std::pair<double, double>>& spans, double bottom, double top, double xLow,
              double xHigh, double minWidth, const QString& name, bool inLegend)
    {
        QList<QPointF> upper;
        upper.reserve(qsizetype(spans.size()) * 4);
        for (auto [x0, x1] : spans) {
            if (x1 - x0 < minWidth) {
                const double middle = (x0 + x1) / 2;
                x0 = middle - minWidth / 2;
                x1 = middle + minWidth / 2;
            }
            upper << QPointF(x0, bottom) << QPointF(x0, top) << QPointF(x1, top) << QPointF(x1, bottom);
        }
        m_area->upperSeries()->replace(upper);
        m_area->lowerSeries()->replace({QPointF(xLow, bottom), QPointF(xHigh, bottom)});
        m_area->setName(name);
        showInLegend(*m_chart, m_area, inLegend && !spans.empty());
    }

    QAreaSeries* area() const { return m_area; }

private:
    QChart* m_chart = nullptr;
    QAreaSeries* m_area = nullptr;
};

// Stretches closer than `within` to the one before joined: sync loss every
// few reports of a day is one band, not a hundred thousand.
std::vector<std::pair<double, double>> joined(const std::vector<std::pair<double, double>>& spans, double within)
{
    std::vector<std::pair<double, double>> out;
    for (const auto& [from, to] : spans) {
        if (!out.empty() && from - out.back().second < within)
            out.back().second = std::max(out.back().second, to);
        else
            out.emplace_back(from, to);
    }
    return out;
}

// Bands of one kind on a chart, at most this many: a band series is filled
// smoothed, at a cost that grows with the square of the band edges a line of
// pixels crosses, so where more crowd they join into fewer, wider ones.
constexpr size_t kMostBands = 50;

std::vector<std::pair<double, double>> fewBands(std::vector<std::pair<double, double>> spans, double within)
{
    while (spans.size() > kMostBands) {
        spans = joined(spans, within);
        within *= 2;
    }
    return spans;
}

// The x axis: elapsed time in a unit that suits the span, or wall-clock time.
// A run's rows go by their elapsed time from the run's start, on a clock that
// never goes back: rows after a wall clock set back stay in the order written.
struct TimeScale
{
    bool wallClock = false;
    double secondsPerUnit = 1;
    QString unitName = QStringLiteral("s");

    // Where a row of the run at `elapsed` seconds goes.
    double x(const RunDigest& run, double elapsed) const
    {
        const ReadRow& start = run.started();
        if (wallClock)
            return double(start.time.toMSecsSinceEpoch()) + (elapsed - start.elapsed) * 1000;
        return elapsed / secondsPerUnit;
    }
    // Where a UTC time of the run goes: its elapsed time counts from the run's start.
    double xOfTime(const RunDigest& run, qint64 msSinceEpoch) const
    {
        if (wallClock)
            return double(msSinceEpoch);
        const ReadRow& start = run.started();
        return (double(msSinceEpoch - start.time.toMSecsSinceEpoch()) / 1000 + start.elapsed) / secondsPerUnit;
    }
    QAbstractAxis* makeAxis() const
    {
        if (wallClock) {
            auto* axis = new QDateTimeAxis;
            axis->setTitleText(QStringLiteral("time (UTC)"));
            return axis;
        }
        auto* axis = new QValueAxis;
        axis->setLabelFormat(QStringLiteral("%g"));
        axis->setTickType(QValueAxis::TicksDynamic);
        return axis;
    }
    // The axis ends where the run (or the part shown) ends, with ticks on round
    // numbers between ends that are not.
    void setRange(QAbstractAxis* axis, double low, double high) const
    {
        if (auto* dates = qobject_cast<QDateTimeAxis*>(axis)) {
            dates->setFormat(high - low > 86400e3 ? QStringLiteral("MM-dd hh:mm") : QStringLiteral("hh:mm:ss"));
            dates->setRange(QDateTime::fromMSecsSinceEpoch(qint64(low), QTimeZone::utc()),
                            QDateTime::fromMSecsSinceEpoch(qint64(high), QTimeZone::utc()));
            return;
        }
        auto* values = static_cast<QValueAxis*>(axis);
        const QString title = QStringLiteral("elapsed (%1)").arg(unitName);
        if (values->titleText() != title)
            values->setTitleText(title);
        // Each change lays the axis and every series on it out again: ticks first, once, then the range.
        const double rough = (high - low) / 5;
        const double decade = std::pow(10, std::floor(std::log10(rough)));
        const double step = decade * (rough / decade < 2 ? 1 : rough / decade < 5 ? 2 : 5);
        const double anchor = std::ceil(low / step) * step;
        if (values->tickInterval() != step)
            values->setTickInterval(step);
        if (values->tickAnchor() != anchor)
            values->setTickAnchor(anchor);
        values->setRange(low, high);
    }
};

// A stretch of the seconds strip: seconds in a row that stood alike, between
// two places on the time axis. Provisional: seconds whose availability the
// seconds still to come may revise.
struct StripCell
{
    double x0 = 0, x1 = 0;
    measurement::SecondClass least = measurement::SecondClass::ErrorFree;
    measurement::SecondClass most = measurement::SecondClass::ErrorFree;
    bool unknown = false;
    bool provisional = false;

    bool sameStanding(const StripCell& other) const
    {
        return least == other.least && most == other.most && unknown == other.unknown
               && provisional == other.provisional;
    }
};

// The seconds of each run at their own times, spans narrower than `minWidth`
// gathered into cells of about that width that show the worst of their known
// seconds (the highest least and the highest most), or unknown when none is
// known: a second errored in a long error-free stretch stays in sight, and a
// day draws as fast as a minute.
std::vector<StripCell> stripCells(const std::vector<std::vector<StripCell>>& runs, double minWidth)
{
    std::vector<StripCell> out;
    for (const std::vector<StripCell>& spans : runs) {
        const size_t runStart = out.size();
        bool gathering = false; // out.back() gathers narrow spans
        for (const StripCell& span : spans) {
            const bool narrow = span.x1 - span.x0 < minWidth;
            if (out.size() > runStart && out.back().sameStanding(span)) {
                out.back().x1 = span.x1;
                gathering = gathering && narrow;
            } else if (gathering && narrow && span.x1 - out.back().x0 <= minWidth
                       && out.back().provisional == span.provisional) {
                StripCell& cell = out.back();
                cell.x1 = span.x1;
                if (cell.unknown && !span.unknown) {
                    cell.least = span.least;
                    cell.most = span.most;
                    cell.unknown = false;
                } else if (cell.unknown == span.unknown) {
                    cell.least = std::max(cell.least, span.least);
                    cell.most = std::max(cell.most, span.most);
                }
            } else {
                out.push_back(span);
                gathering = narrow;
            }
        }
        // Gathered cells that came to stand as their neighbours join them.
        size_t kept = runStart;
        for (size_t i = runStart; i < out.size(); ++i) {
            if (i > runStart && out[kept - 1].sameStanding(out[i]))
                out[kept - 1].x1 = out[i].x1;
            else
                out[kept++] = out[i];
        }
        out.resize(kept);
    }
    return out;
}

// The strip's colours, by class from error-free to unavailable.
const QColor kClassColors[] = {QColor(44, 160, 44), QColor(245, 170, 0), QColor(214, 39, 40), QColor(45, 45, 45)};
const QColor kUnknownColor(150, 150, 150);
constexpr int kUnknown = 4; // after the classes

QString secondsText(const measurement::Bounded& seconds)
{
    return seconds.text() + QStringLiteral(" s");
}

measurement::Bounded sum(const measurement::Bounded& a, const measurement::Bounded& b)
{
    return {a.least + b.least, a.most + b.most};
}

// The points of a stretch from `low` to `high`, with the one on each side
// beyond, so that the line runs on to the axis's ends.
QList<QPointF> within(const QList<QPointF>& stretch, double low, double high)
{
    qsizetype first = 0, last = stretch.size();
    while (first + 1 < stretch.size() && stretch[first + 1].x() < low)
        ++first;
    while (last - 1 > first && stretch[last - 2].x() > high)
        --last;
    if (stretch.isEmpty() || stretch[first].x() > high || stretch[last - 1].x() < low)
        return {};
    return stretch.mid(first, last - first);
}

QString defaultTitle(const std::vector<const RunDigest*>& runs)
{
    QStringList devices;
    quint64 bits = 0;
    for (const RunDigest* run : runs) {
        if (!devices.contains(run->recorded().device))
            devices << run->recorded().device;
        bits += run->analysis().bits();
    }
    const measurement::RunAnalysis& last = runs.back()->analysis();
    const double ber = last.bits() > 0 ? double(last.bitErrors()) / double(last.bits()) : NAN;
    QString title = QStringLiteral("%1 — started %2 UTC — %3 bits — BER %4, below %5 at %6 %")
                        .arg(devices.join(QStringLiteral(", ")),
                             runs.front()->started().time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
                             measurement::figureText(double(bits)), measurement::figureText(ber),
                             measurement::figureText(last.berUpper()))
                        .arg(runs.back()->recorded().confidence * 100);
    if (runs.size() > 1)
        title += QStringLiteral(" (last of %1 runs)").arg(runs.size());
    return title;
}

// The words broken into lines no wider than `width` in `font`, joined by `<br>`.
QString wrapped(const QString& text, const QFont& font, double width)
{
    const QFontMetricsF metrics(font);
    QStringList lines;
    QString line;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        const QString longer = line.isEmpty() ? word : line + u' ' + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(longer) > width) {
            lines << line.toHtmlEscaped();
            line = word;
        } else {
            line = longer;
        }
    }
    if (!line.isEmpty())
        lines << line.toHtmlEscaped();
    return lines.join(QStringLiteral("<br>"));
}

} // namespace

QString runStanding(const RunDigest& run, bool live)
{
    const measurement::Verdict verdict = measurement::decide(run.analysis());
    if (verdict.outcome == measurement::Outcome::NoVerdict || !live)
        return verdict.head;
    QString words = verdict.outcome == measurement::Outcome::Fail ? verdict.head : verdict.need;
    const double duration = run.analysis().settings().durationSeconds;
    if (duration > 0) {
        const double elapsed = run.last().elapsed - run.started().elapsed;
        words += QStringLiteral(" — %1 of --duration left")
                     .arg(measurement::clockText(qint64(std::max(0.0, duration - elapsed) * 1000)));
    }
    return words;
}

QString chartsTitle(const std::vector<const RunDigest*>& runs, const ChartLayout& layout)
{
    QString title = layout.title.isEmpty() ? defaultTitle(runs) : layout.title;
    const QString standing = runStanding(*runs.back(), layout.live);
    if (!standing.isEmpty())
        title += QStringLiteral(" — ") + standing;
    return title;
}

namespace {

// What the charts show, worked out from the runs before any chart is touched:
// the time axis, the curves and events along it, every second of the runs,
// and the axes' decades.
struct ChartData
{
    TimeScale scale;
    std::optional<std::pair<double, double>> range; // of one run's elapsed time
    Curve ber, berBound, berLoss, runBound, errored, lost;
    std::vector<double> restarts;                        // x of each
    std::vector<std::pair<double, double>> deviceLost, syncLoss; // from, to
    std::optional<double> limit;
    double xLow = INFINITY, xHigh = -INFINITY;
    std::vector<std::vector<StripCell>> runSpans;
    measurement::ErrorPerformanceFigures performance;
    double yLow = INFINITY, yHigh = -INFINITY, countHigh = 0;
};

// One run along its elapsed time in a unit that suits the span, several along wall-clock time.
void chooseScale(ChartData& data, const std::vector<const RunDigest*>& runs, const ChartLayout& layout)
{
    TimeScale& scale = data.scale;
    scale.wallClock = runs.size() > 1;
    if (scale.wallClock)
        return;
    data.range = layout.elapsedRange;
    const double span = data.range ? data.range->second - data.range->first : runs.front()->last().elapsed;
    if (span > 3 * 3600)
        scale = {false, 3600, QStringLiteral("h")};
    else if (span > 3 * 60)
        scale = {false, 60, QStringLiteral("min")};
}

// The curves, run by run, so that a new run starts a new stretch, and the events to mark.
void gatherCurves(ChartData& data, const std::vector<const RunDigest*>& runs)
{
    const std::pair<Curve*, RunDigest::Curve> curves[] = {
        {&data.ber, RunDigest::Ber},         {&data.berBound, RunDigest::BerBound},
        {&data.berLoss, RunDigest::BerLoss}, {&data.runBound, RunDigest::RunBound},
        {&data.errored, RunDigest::ErroredFrames}, {&data.lost, RunDigest::LostFrames}};
    data.ber.name = QStringLiteral("BER");
    data.berBound.name = QStringLiteral("BER bound at %1 %").arg(runs.back()->recorded().confidence * 100);
    data.berLoss.name = QStringLiteral("BER with sync loss");
    data.runBound.name = QStringLiteral("run's BER bound");
    data.errored.name = QStringLiteral("errored frames a report");
    data.lost.name = QStringLiteral("lost frames a report");
    data.limit = runs.back()->analysis().settings().maxBer;
    const TimeScale& scale = data.scale;
    const std::optional<std::pair<double, double>>& range = data.range;
    const auto inRange = [&](double elapsed) {
        return !range || (elapsed >= range->first && elapsed <= range->second);
    };
    const auto overlaps = [&](double from, double to) {
        return !range || (from <= range->second && to >= range->first);
    };
    for (const RunDigest* run : runs) {
        data.xLow = std::min(data.xLow, scale.x(*run, range ? range->first : run->started().elapsed));
        data.xHigh = std::max(data.xHigh, scale.x(*run, range ? range->second : run->last().elapsed));
        for (const auto& [curve, which] : curves) {
            // The finer latest stretch when it holds all that is shown.
            const ColumnReducer* latest = run->latest(which);
            const ColumnReducer& source =
                range && latest && !latest->empty() && latest->firstX() <= range->first ? *latest : run->curve(which);
            for (const QList<QPointF>& stretch : source.stretches()) {
                QList<QPointF> shown = range ? within(stretch, range->first, range->second) : stretch;
                for (QPointF& point : shown)
                    point.setX(scale.x(*run, point.x()));
                if (!shown.isEmpty())
                    curve->stretches << shown;
            }
        }
        for (const double at : run->linkEventLog().restarts())
            if (inRange(at))
                data.restarts.push_back(scale.x(*run, at));
        for (const LinkEvent& event : run->linkEvents()) {
            const bool lost = event.kind == LinkEvent::Kind::DeviceLost;
            if ((lost || event.kind == LinkEvent::Kind::SyncLoss) && overlaps(event.fromElapsed, event.toElapsed))
                (lost ? data.deviceLost : data.syncLoss)
                    .emplace_back(scale.x(*run, event.fromElapsed), scale.x(*run, event.toElapsed));
        }
    }
    for (auto* spans : {&data.deviceLost, &data.syncLoss})
        for (auto& [from, to] : *spans) {
            from = std::max(from, data.xLow);
            to = std::min(to, data.xHigh);
        }
}

// Every second of each run, from the analysis the recorder runs on the same
// rows. A live run's last seconds are provisional: unavailable time begins
// and ends a streak of seconds before it is known.
void gatherSeconds(ChartData& data, const std::vector<const RunDigest*>& runs, bool live)
{
    measurement::ErrorPerformanceFigures& performance = data.performance;
    for (const RunDigest* run : runs) {
        const measurement::ErrorPerformanceFigures f = run->analysis().performance().figures();
        performance.unknown += f.unknown;
        performance.efs = sum(performance.efs, f.efs);
        performance.es = sum(performance.es, f.es);
        performance.ses = sum(performance.ses, f.ses);
        performance.unavailable = sum(performance.unavailable, f.unavailable);
        const std::vector<measurement::SecondSpan> spans = run->analysis().performance().spans();
        const qint64 settledUntil = live && run == runs.back() && !spans.empty()
                                        ? spans.back().first + spans.back().seconds
                                              - measurement::AvailabilityTracker::kStreak
                                        : std::numeric_limits<qint64>::max();
        std::vector<StripCell>& cells = data.runSpans.emplace_back();
        const auto add = [&](const measurement::SecondSpan& span, qint64 first, qint64 end, bool provisional) {
            // A run's first and last seconds may reach past its rows: cut at the axis's ends.
            const StripCell cell{std::max(data.xLow, data.scale.xOfTime(*run, first * 1000)),
                                 std::min(data.xHigh, data.scale.xOfTime(*run, end * 1000)),
                                 span.least, span.most, span.unknown, provisional};
            if (cell.x1 > cell.x0)
                cells.push_back(cell);
        };
        for (const measurement::SecondSpan& span : spans) {
            const qint64 end = span.first + span.seconds;
            const qint64 split = std::clamp(settledUntil, span.first, end);
            if (split > span.first)
                add(span, span.first, split, false);
            if (end > split)
                add(span, split, end, true);
        }
    }
    if (data.xHigh <= data.xLow)
        data.xHigh = data.xLow + 1;
}

// Decades that hold every positive BER (some decades when there is none),
// and the highest count of an interval.
void fitAxes(ChartData& data)
{
    double& yLow = data.yLow;
    double& yHigh = data.yHigh;
    for (const Curve* curve : {&data.ber, &data.berBound, &data.berLoss, &data.runBound})
        for (const QList<QPointF>& stretch : curve->stretches)
            for (const QPointF& point : stretch) {
                yLow = std::min(yLow, point.y());
                yHigh = std::max(yHigh, point.y());
            }
    for (const Curve* curve : {&data.errored, &data.lost})
        for (const QList<QPointF>& stretch : curve->stretches)
            for (const QPointF& point : stretch)
                data.countHigh = std::max(data.countHigh, point.y());
    if (data.limit) {
        yLow = std::min(yLow, *data.limit);
        yHigh = std::max(yHigh, *data.limit);
    }
    if (!std::isfinite(yLow)) {
        yLow = 1e-10;
        yHigh = 1e-3;
    }
    // A hair beyond the decades, so that rounding cannot drop the lowest or highest label.
    yLow = std::pow(10, std::floor(std::log10(yLow))) * (1 - 1e-9);
    yHigh = std::pow(10, std::ceil(std::log10(yHigh * 1.0001))) * (1 + 1e-9);
    yHigh = std::max(yHigh, yLow * 10);
}

ChartData prepareCharts(const std::vector<const RunDigest*>& runs, const ChartLayout& layout)
{
    ChartData data;
    chooseScale(data, runs, layout);
    gatherCurves(data, runs);
    gatherSeconds(data, runs, layout.live);
    fitAxes(data);
    return data;
}

// A count of 0 lies here, half a frame, at the bottom of the error history's axis.
constexpr double kCountFloor = 0.5;

const QColor kBlue(31, 119, 180), kRed(214, 39, 40), kGreen(44, 140, 44), kGrey(90, 90, 90), kPurple(120, 60, 170);
// The marks' tints are opaque: an archival PDF has no transparency.
const QColor kRestartColor(240, 180, 100), kDeviceLostColor(240, 185, 185), kSyncLossColor(229, 219, 239);

} // namespace

// The three charts on their scene, the BER above the error history above the
// seconds strip, which the scene owns, with every series they draw.
struct RunCharts::Kept
{
    QGraphicsScene scene;
    QChart* top = new QChart;
    QChart* middle = new QChart;
    QChart* strip = new QChart;
    bool wallClock = false;
    bool thin = false;
    QAbstractAxis* topX = nullptr;
    QAbstractAxis* middleX = nullptr;
    QAbstractAxis* stripX = nullptr;
    QLogValueAxis* berY = new QLogValueAxis;
    QLogValueAxis* countY = new QLogValueAxis;
    QValueAxis* stripY = new QValueAxis;
    KeptCurve ber, berBound, berLoss, runBound, errored, lost;
    QLineSeries* limit = new QLineSeries;
    // The run's events on the time axis: on the BER, named in its legend, and on the error history.
    struct EventBands
    {
        KeptBands restarts, deviceLost, syncLoss;
    };
    EventBands topEvents, middleEvents;
    // The strip's bands by (class or kUnknown, part: whole, upper, lower; provisional).
    std::map<std::tuple<int, int, bool>, KeptBands> bands;
    QGraphicsSimpleTextItem* nothing = nullptr; // the error history's line when it has nothing to show
    std::array<QGraphicsSimpleTextItem*, 2> halves{};
    QString title;
    // Qt Charts writes a title's words into its item only when it lays the
    // chart out: a frame that lays nothing out writes them there itself.
    QGraphicsTextItem* titleItem = nullptr;
    qreal titleCentre = 0;  // where the layout centred it
    bool retitled = false;  // the top chart's title changed since the frame drawn last
    QString aligned; // what the plot areas were last aligned for; see layoutKey()
    std::pair<qreal, qreal> columns;
    ChartLayout layout;
    ChartGeometry geometry; // elapsed ends; the plot's columns once rendered

    Kept(bool wall, bool thinLines);
    std::array<QChart*, 3> charts() const { return {top, middle, strip}; }
    void place(const ChartLayout& layout, const QString& head, const QString& standing);
    void fillBer(const ChartData& data, int columns);
    void fillHistory(const ChartData& data, int columns);
    void fillStrip(const ChartData& data, double minWidth);
    KeptBands& band(int cls, int part, bool provisional);
    std::pair<qreal, qreal> alignPlotAreas();
    QString layoutKey() const;
};

namespace {

// The item that shows `chart`'s title once the chart is laid out; null if
// Qt Charts shows it otherwise (then each new title lays the chart out).
QGraphicsTextItem* titleItemOf(QChart* chart)
{
    QTextDocument title;
    title.setHtml(chart->title());
    const QString words = title.toPlainText();
    for (QGraphicsItem* child : chart->childItems())
        if (auto* text = qgraphicsitem_cast<QGraphicsTextItem*>(child); text && text->toPlainText() == words)
            return text;
    return nullptr;
}

// A name as wide as `name` in the charts' fonts, whose digits are all of one
// width: a count in a legend's entry that goes up lays nothing out again.
QString sameWidth(QString name)
{
    for (QChar& c : name)
        if (c.isDigit())
            c = u'0';
    return name;
}

} // namespace

// What the charts' plot areas depend on: their geometry, the title's lines, the
// value axes' ranges (their labels' widths) and the legends' entries. While
// it stays, the plot areas stay and a frame lays nothing out.
QString RunCharts::Kept::layoutKey() const
{
    QStringList key{QString::number(top->title().count(QStringLiteral("<br>"))), QString::number(berY->min()),
                    QString::number(berY->max()), QString::number(countY->max())};
    for (const QChart* chart : charts()) {
        const QRectF g = chart->geometry();
        key << QStringLiteral("%1,%2,%3,%4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height());
        for (const QAbstractSeries* series : chart->series())
            if (series->property(kInLegend).toBool())
                key << (chart == strip ? QStringLiteral("shown") : sameWidth(series->name()));
    }
    return key.join(u'|');
}

RunCharts::Kept::Kept(bool wall, bool thinLines)
    : wallClock(wall)
    , thin(thinLines)
{
    TimeScale scale;
    scale.wallClock = wall;
    for (QChart* chart : charts()) {
        scene.addItem(chart);
        chart->setAnimationOptions(QChart::NoAnimation);
        chart->legend()->setAlignment(Qt::AlignRight);
        // Line samples, not colour squares: curves that differ in dash show it.
        chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
        // The page under the charts is white already: a chart's own white
        // background is filled through Qt's thread pool, a sixth of a frame.
        chart->setBackgroundVisible(false);
    }
    // The scene's items move on every frame: an index of them costs more than it finds.
    scene.setItemIndexMethod(QGraphicsScene::NoIndex);
    topX = scale.makeAxis();
    middleX = scale.makeAxis();
    stripX = scale.makeAxis();
    const auto decades = [](QChart* chart, QAbstractAxis* x, QLogValueAxis* y, const QString& title,
                            const QString& format) {
        y->setBase(10);
        y->setLabelFormat(format);
        y->setMinorTickCount(-1);
        // Solid: a dashed line costs its dashes' stroking, a frame's largest part on a live view.
        y->setMinorGridLinePen(QPen(QColor(238, 238, 238), 1));
        y->setTitleText(title);
        chart->addAxis(x, Qt::AlignBottom);
        chart->addAxis(y, Qt::AlignLeft);
    };
    decades(top, topX, berY, QStringLiteral("BER"), QStringLiteral("%.0e"));
    decades(middle, middleX, countY, QStringLiteral("frames"), QStringLiteral("%g"));
    // Drawn first, so that the curves lie over the marks.
    for (auto [chart, x, y, events] : {std::tuple{top, topX, static_cast<QAbstractAxis*>(berY), &topEvents},
                                       {middle, middleX, countY, &middleEvents}}) {
        events->deviceLost.attach(chart, x, y, kDeviceLostColor);
        events->syncLoss.attach(chart, x, y, kSyncLossColor);
        events->restarts.attach(chart, x, y, kRestartColor);
    }
    // The BER with sync loss under the one without and wider, so that both show where they coincide.
    berLoss.attach(top, topX, berY, QPen(kRed, 3.5), thin);
    ber.attach(top, topX, berY, QPen(kBlue, 1.5), thin);
    berBound.attach(top, topX, berY, QPen(kGreen, 1.2, Qt::DashLine), thin);
    runBound.attach(top, topX, berY, QPen(kGrey, 1.5, Qt::DotLine), thin);
    limit->setPen(QPen(Qt::black, 1.5, Qt::DashDotLine));
    top->addSeries(limit);
    limit->attachAxis(topX);
    limit->attachAxis(berY);
    lost.attach(middle, middleX, countY, QPen(kPurple, 2.5), thin);
    // Solid: a dashed line of thousands of steps takes seconds to draw smoothed.
    errored.attach(middle, middleX, countY, QPen(kRed, 1.2), thin);
    nothing = new QGraphicsSimpleTextItem(QStringLiteral("no errored frames in this run"), middle);

    stripX->setTitleVisible(false);
    // A row of entries under the band: the strip stays narrow.
    strip->legend()->setAlignment(Qt::AlignBottom);
    strip->legend()->setMarkerShape(QLegend::MarkerShapeRectangle);
    strip->setMargins(QMargins(20, 0, 20, 0));
    strip->layout()->setContentsMargins(0, 0, 0, 0);
    stripY->setRange(0, 1);
    stripY->setVisible(false);
    strip->addAxis(stripX, Qt::AlignBottom);
    strip->addAxis(stripY, Qt::AlignLeft);
    // Every whole band first, in the legend's order, then the halves and the provisional ones.
    for (bool provisional : {false, true})
        for (int part = 0; part < 3; ++part)
            for (int cls = 0; cls <= kUnknown; ++cls)
                band(cls, part, provisional);
    // The halves of a second the reports leave between two classes, named at the strip's side.
    for (int i = 0; i < 2; ++i)
        halves[size_t(i)] = new QGraphicsSimpleTextItem(i == 0 ? QStringLiteral("least") : QStringLiteral("most"),
                                                        strip);
    // Hairlines: a grid line with a width is measured by stroking it, each time it is drawn.
    if (thin)
        for (QAbstractAxis* axis : std::initializer_list<QAbstractAxis*>{topX, middleX, stripX, berY, countY})
            for (const auto& [get, set] : {std::pair{&QAbstractAxis::gridLinePen, &QAbstractAxis::setGridLinePen},
                                           {&QAbstractAxis::minorGridLinePen, &QAbstractAxis::setMinorGridLinePen},
                                           {&QAbstractAxis::linePen, &QAbstractAxis::setLinePen}}) {
                QPen pen = (axis->*get)();
                pen.setWidth(0);
                (axis->*set)(pen);
            }
}

KeptBands& RunCharts::Kept::band(int cls, int part, bool provisional)
{
    const auto key = std::tuple{cls, part, provisional};
    auto it = bands.find(key);
    if (it != bands.end())
        return it->second;
    QBrush brush;
    if (cls == kUnknown)
        brush = QBrush(provisional ? kUnknownColor.lighter(130) : kUnknownColor, Qt::BDiagPattern);
    else
        brush = QBrush(provisional ? kClassColors[cls].lighter(170) : kClassColors[cls]);
    KeptBands& made = bands[key];
    made.attach(strip, stripX, stripY, brush);
    return made;
}

void RunCharts::Kept::place(const ChartLayout& l, const QString& head, const QString& standing)
{
    const int stripHeight = l.height * 3 / 20;
    const int topHeight = (l.height - stripHeight) * 3 / 5;
    const QRectF geometries[] = {QRectF(0, 0, l.width, topHeight),
                                 QRectF(0, topHeight, l.width, l.height - topHeight - stripHeight),
                                 QRectF(0, l.height - stripHeight, l.width, stripHeight)};
    for (size_t i = 0; i < 3; ++i)
        if (charts()[i]->geometry() != geometries[i])
            charts()[i]->setGeometry(geometries[i]);
    // Each part of the title on lines of its own, wrapped to the chart's width, never cut.
    // Inside the chart's margins and layout, with room to spare: a line a hair too long is cut with "…".
    const double width = l.width * 0.9 - 60;
    QString html = wrapped(head, top->titleFont(), width);
    if (!standing.isEmpty())
        html += QStringLiteral("<br>") + wrapped(standing, top->titleFont(), width);
    if (top->title() != html) {
        top->setTitle(html);
        retitled = true;
    }
}

void RunCharts::Kept::fillBer(const ChartData& data, int columns)
{
    berY->setRange(data.yLow, data.yHigh);
    berLoss.fill(data.berLoss, data.xLow, data.xHigh, columns);
    ber.fill(data.ber, data.xLow, data.xHigh, columns);
    berBound.fill(data.berBound, data.xLow, data.xHigh, columns);
    runBound.fill(data.runBound, data.xLow, data.xHigh, columns);
    if (data.limit) {
        limit->replace({QPointF(data.xLow, *data.limit), QPointF(data.xHigh, *data.limit)});
        limit->setName(QStringLiteral("limit %1").arg(QString::number(*data.limit, 'g', 6)));
    } else {
        limit->clear();
    }
    showInLegend(*top, limit, bool(data.limit));
}

void RunCharts::Kept::fillHistory(const ChartData& data, int columns)
{
    const double high = std::pow(10, std::ceil(std::log10(std::max(10.0, data.countHigh * 1.0001))));
    countY->setRange(kCountFloor, high);
    for (auto [source, kept] : {std::pair{&data.errored, &errored}, {&data.lost, &lost}}) {
        Curve shown{source->name, {}, {}};
        bool any = false;
        for (const QList<QPointF>& stretch : source->stretches) {
            shown.stretches << steps(stretch, kCountFloor);
            for (const QPointF& point : stretch)
                any = any || point.y() > 0;
        }
        if (!any) // a flat line at the floor says less than the one line below
            shown.stretches.clear();
        kept->fill(shown, data.xLow, data.xHigh, columns);
    }
    nothing->setVisible(errored.empty() && lost.empty());
}

void RunCharts::Kept::fillStrip(const ChartData& data, double minWidth)
{
    enum Part { Whole, Upper, Lower };
    std::map<std::tuple<int, int, bool>, std::vector<std::pair<double, double>>> spans;
    for (StripCell cell : stripCells(data.runSpans, minWidth)) {
        const bool p = cell.provisional;
        if (cell.unknown) {
            spans[{kUnknown, Whole, p}].emplace_back(cell.x0, cell.x1);
        } else if (cell.least == cell.most) {
            spans[{int(cell.least), Whole, p}].emplace_back(cell.x0, cell.x1);
        } else {
            spans[{int(cell.least), Upper, p}].emplace_back(cell.x0, cell.x1);
            spans[{int(cell.most), Lower, p}].emplace_back(cell.x0, cell.x1);
        }
    }
    const measurement::ErrorPerformanceFigures& figures = data.performance;
    // The legend's entries, one a class, in the strip's order, then one for the provisional seconds.
    const QString names[] = {
        QStringLiteral("error-free %1").arg(secondsText(figures.efs)),
        QStringLiteral("errored %1").arg(secondsText(figures.es)),
        QStringLiteral("severely errored %1").arg(secondsText(figures.ses)),
        QStringLiteral("unavailable %1").arg(secondsText(figures.unavailable)),
        QStringLiteral("unknown %1 s").arg(figures.unknown),
    };
    bool provisionalNamed = false;
    for (auto& [key, kept] : bands) {
        const auto [cls, part, provisional] = key;
        const std::vector<std::pair<double, double>>& cells = spans[key];
        const double bottom = part == Upper ? 0.5 : 0;
        const double top = part == Lower ? 0.5 : 1;
        if (!provisional) {
            kept.fill(cells, bottom, top, data.xLow, data.xHigh, minWidth, names[cls], part == Whole);
            // A class the run has none of keeps its entry, with its 0 s.
            showInLegend(*strip, kept.area(), part == Whole);
            continue;
        }
        const bool named = !provisionalNamed && !cells.empty();
        provisionalNamed = provisionalNamed || named;
        kept.fill(cells, bottom, top, data.xLow, data.xHigh, minWidth,
                  QStringLiteral("lighter: last %1 s, may still change").arg(measurement::AvailabilityTracker::kStreak),
                  named);
    }
}

// Lays the charts out with their plot areas over the same columns, to the
// pixel; returns the columns' left and right on the scene.
std::pair<qreal, qreal> RunCharts::Kept::alignPlotAreas()
{
    // A chart lays out a plot area it is given only when its own geometry changes: nudge it.
    const auto nudge = [](QChart* chart) {
        const QRectF geometry = chart->geometry();
        chart->setGeometry(geometry.adjusted(0, 0, 1, 0));
        chart->setGeometry(geometry);
    };
    // Each chart's own layout first, for the labels it holds now.
    for (QChart* chart : charts()) {
        chart->setPlotArea(QRectF());
        nudge(chart);
    }
    // The charts lay out their axes, labels and titles on posted events.
    QCoreApplication::sendPostedEvents();
    qreal left = -INFINITY, right = INFINITY;
    for (const QChart* chart : charts()) {
        left = std::max(left, chart->plotArea().left());
        right = std::min(right, chart->plotArea().right());
    }
    for (QChart* chart : charts()) {
        const QRectF plotArea = chart->plotArea();
        chart->setPlotArea(QRectF(left, plotArea.top(), right - left, plotArea.height()));
        nudge(chart);
    }
    QCoreApplication::sendPostedEvents();
    return {left, right};
}

RunCharts::RunCharts() = default;
RunCharts::~RunCharts() = default;

void RunCharts::update(const std::vector<const RunDigest*>& runs, const ChartLayout& layout)
{
    const ChartData data = prepareCharts(runs, layout);
    if (!m || m->wallClock != data.scale.wallClock || m->thin != layout.thinLines)
        m = std::make_unique<Kept>(data.scale.wallClock, layout.thinLines);
    m->layout = layout;
    const QString head = layout.title.isEmpty() ? defaultTitle(runs) : layout.title;
    const QString standing = layout.standing ? *layout.standing : runStanding(*runs.back(), layout.live);
    m->title = standing.isEmpty() ? head : head + QStringLiteral(" — ") + standing;
    m->place(layout, head, standing);
    const int columns = layout.columns > 0 ? layout.columns : layout.width;
    for (QAbstractAxis* axis : {m->topX, m->middleX, m->stripX})
        data.scale.setRange(axis, data.xLow, data.xHigh);
    m->fillBer(data, columns);
    m->fillHistory(data, columns);
    const double minWidth = 2 * (data.xHigh - data.xLow) / layout.width;
    m->fillStrip(data, minWidth);
    // The events, folded where they crowd, on the BER and the error history alike.
    const std::vector<std::pair<double, double>> restarts =
        fewBands(LinkEventLog::fold(data.restarts, minWidth), minWidth);
    const std::vector<std::pair<double, double>> deviceLost = fewBands(joined(data.deviceLost, minWidth), minWidth);
    const std::vector<std::pair<double, double>> syncLoss = fewBands(joined(data.syncLoss, minWidth), minWidth);
    // A live view counts them in the words beside the charts: a name that
    // changes lays the chart out again, every axis label anew.
    const QString restartsName =
        layout.live ? eventName(RowEvent::CountsWentDown)
                    : QStringLiteral("%1 (%2)").arg(eventName(RowEvent::CountsWentDown)).arg(data.restarts.size());
    for (auto [events, bottom, top, named] : {std::tuple{&m->topEvents, data.yLow, data.yHigh, true},
                                              {&m->middleEvents, kCountFloor, m->countY->max(), false}}) {
        const auto fill = [&](KeptBands& bands, const std::vector<std::pair<double, double>>& spans,
                              const QString& name) {
            bands.fill(spans, bottom, top, data.xLow, data.xHigh, minWidth / 2, name, named);
        };
        fill(events->restarts, restarts, restartsName);
        fill(events->deviceLost, deviceLost, eventName(RowEvent::DeviceLost));
        fill(events->syncLoss, syncLoss, QStringLiteral("sync loss"));
    }
    const RunDigest& first = *runs.front();
    m->geometry.elapsedLow = data.range ? data.range->first : first.started().elapsed;
    m->geometry.elapsedHigh = data.range ? data.range->second : first.last().elapsed;
}

ChartGeometry RunCharts::render(QPainter& painter, const QRectF& target)
{
    const QRectF area(0, 0, m->layout.width, m->layout.height);
    m->scene.setSceneRect(area);
    const QString key = m->layoutKey();
    const bool retitled = std::exchange(m->retitled, false);
    if (key != m->aligned || (retitled && !m->titleItem)) {
        m->columns = m->alignPlotAreas();
        m->aligned = key;
        m->titleItem = titleItemOf(m->top);
        if (m->titleItem)
            m->titleCentre = m->titleItem->x() + m->titleItem->boundingRect().width() / 2;
    } else {
        QCoreApplication::sendPostedEvents(); // the series' new points
        if (retitled) { // as many lines as before: centred where the layout centred them
            m->titleItem->setHtml(m->top->title());
            m->titleItem->setX(m->titleCentre - m->titleItem->boundingRect().width() / 2);
        }
    }
    const auto [left, right] = m->columns;
    QFont small = m->stripX->labelsFont();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    const QRectF band = m->strip->plotArea();
    for (size_t i = 0; i < 2; ++i) {
        QGraphicsSimpleTextItem* label = m->halves[i];
        label->setFont(small);
        label->setBrush(m->stripX->labelsBrush());
        const QRectF box = label->boundingRect();
        label->setPos(band.left() - box.width() - 6, band.top() + band.height() * (i == 0 ? 0.25 : 0.75)
                                                         - box.height() / 2);
    }
    const QRectF history = m->middle->plotArea();
    const QRectF box = m->nothing->boundingRect();
    m->nothing->setPos(history.center() - box.center());
    painter.save();
    painter.fillRect(target, Qt::white);
    m->scene.render(&painter, target, area);
    painter.restore();
    const double toTarget = target.width() / area.width();
    m->geometry.plotLeft = target.left() + left * toTarget;
    m->geometry.plotRight = target.left() + right * toTarget;
    return m->geometry;
}

QString RunCharts::title() const
{
    return m ? m->title : QString();
}

QString RunCharts::drawnTitle() const
{
    if (!m || !m->titleItem)
        return {};
    return m->titleItem->toPlainText().replace(QChar::LineSeparator, u' ').replace(u'\n', u' ');
}

QStringList RunCharts::legend() const
{
    QStringList names;
    if (!m)
        return names;
    for (const QChart* chart : m->charts())
        for (const QAbstractSeries* series : chart->series())
            if (series->property(kInLegend).toBool())
                names << series->name();
    return names;
}

int RunCharts::seriesCount() const
{
    int count = 0;
    if (m)
        for (const QChart* chart : m->charts())
            count += int(chart->series().size());
    return count;
}

ChartGeometry drawRunCharts(QPainter& painter, const QRectF& target, const std::vector<const RunDigest*>& runs,
                            const ChartLayout& layout)
{
    RunCharts charts;
    charts.update(runs, layout);
    return charts.render(painter, target);
}
