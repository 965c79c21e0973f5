#include "charts/RunCharts.h"

#include "measurement/ConfidenceBound.h"
#include "measurement/Rates.h"

#include <QAreaSeries>
#include <QChart>
#include <QCoreApplication>
#include <QDateTimeAxis>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPainter>
#include <QScatterSeries>
#include <QTimeZone>
#include <QValueAxis>

#include <cmath>
#include <map>

namespace {

QString figure(double value)
{
    return std::isfinite(value) ? QString::number(value, 'g', 3) : QStringLiteral("N/A");
}

// One curve of the plot: its points in every run, drawn as stretches with gaps.
struct Curve
{
    QString name;
    QPen pen;
    QList<QList<QPointF>> stretches;
};

// At most the first, lowest, highest and last point of each pixel column: a
// day of reports draws as fast as a minute, and no peak is lost.
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

// Stretches whose gap is narrower than two pixel columns joined: such a gap
// cannot be seen, and every series costs the chart time for every other one.
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

// Adds the curve as line series, one per stretch, and the lone points of
// stretches of one as a scatter series: a line of one point shows nothing.
void addCurve(QChart& chart, const Curve& curve, QAbstractAxis* x, QAbstractAxis* y, double xLow, double xHigh,
              int columns)
{
    bool named = false;
    const auto attach = [&](QXYSeries* series) {
        chart.addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
        const bool first = !named;
        named = true;
        for (QLegendMarker* marker : chart.legend()->markers(series))
            marker->setVisible(first);
        series->setName(curve.name);
    };
    auto* lone = new QScatterSeries;
    lone->setMarkerSize(4);
    lone->setColor(curve.pen.color());
    lone->setBorderColor(curve.pen.color());
    for (const QList<QPointF>& stretch : joinedAcrossHiddenGaps(curve.stretches, 2 * (xHigh - xLow) / columns)) {
        if (stretch.size() == 1) {
            lone->append(stretch.first());
            continue;
        }
        auto* series = new QLineSeries;
        series->setPen(curve.pen);
        series->replace(thinned(stretch, xLow, xHigh, columns));
        attach(series);
    }
    if (lone->count() > 0)
        attach(lone);
    else
        delete lone;
}

struct Event
{
    double x;
    QString kind;
};

void addEvents(QChart& chart, const std::vector<Event>& events, QAbstractAxis* x, QValueAxis* linearY,
               QLogValueAxis* logY, bool legend)
{
    static const std::map<QString, QColor> colors{{eventName(RowEvent::DeviceLost), QColor(200, 0, 0)},
                                                  {eventName(RowEvent::DeviceBack), QColor(0, 150, 0)},
                                                  {eventName(RowEvent::CountsWentDown), QColor(230, 130, 0)}};
    std::map<QString, bool> named;
    for (const Event& event : events) {
        const double low = logY ? logY->min() : linearY->min();
        const double high = logY ? logY->max() : linearY->max();
        auto* line = new QLineSeries;
        line->setPen(QPen(colors.at(event.kind), 1.5, Qt::DashLine));
        line->append(event.x, low);
        line->append(event.x, high);
        line->setName(event.kind);
        chart.addSeries(line);
        line->attachAxis(x);
        line->attachAxis(logY ? static_cast<QAbstractAxis*>(logY) : linearY);
        for (QLegendMarker* marker : chart.legend()->markers(line))
            marker->setVisible(legend && !named[event.kind]);
        named[event.kind] = true;
    }
}

// The BER limit, a horizontal line across the whole time axis.
void addLimit(QChart& chart, double limit, QAbstractAxis* x, QAbstractAxis* y, double xLow, double xHigh)
{
    auto* line = new QLineSeries;
    line->setPen(QPen(Qt::black, 1.5, Qt::DashDotLine));
    line->append(xLow, limit);
    line->append(xHigh, limit);
    line->setName(QStringLiteral("limit %1").arg(QString::number(limit, 'g', 6)));
    chart.addSeries(line);
    line->attachAxis(x);
    line->attachAxis(y);
}

// The x axis: elapsed time in a unit that suits the span, or wall-clock time.
// A run's rows go by their elapsed time from the run's start, on a clock that
// never goes back: rows after a wall clock set back stay in the order written.
struct TimeScale
{
    bool wallClock = false;
    double secondsPerUnit = 1;
    QString unitName = QStringLiteral("s");
    bool exactRange = false; // a part of a run asked for: its ends are the axis's ends

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
    QAbstractAxis* makeAxis(double low, double high) const
    {
        if (wallClock) {
            auto* axis = new QDateTimeAxis;
            axis->setFormat(high - low > 86400e3 ? QStringLiteral("MM-dd hh:mm") : QStringLiteral("hh:mm:ss"));
            axis->setTitleText(QStringLiteral("time (UTC)"));
            axis->setRange(QDateTime::fromMSecsSinceEpoch(qint64(low), QTimeZone::utc()),
                           QDateTime::fromMSecsSinceEpoch(qint64(high), QTimeZone::utc()));
            return axis;
        }
        auto* axis = new QValueAxis;
        axis->setTitleText(QStringLiteral("elapsed (%1)").arg(unitName));
        axis->setRange(low, high);
        if (!exactRange) {
            axis->applyNiceNumbers();
        } else if (high > low) {
            // Ticks on round numbers between ends that are not.
            const double rough = (high - low) / 5;
            const double decade = std::pow(10, std::floor(std::log10(rough)));
            const double step = decade * (rough / decade < 2 ? 1 : rough / decade < 5 ? 2 : 5);
            axis->setTickType(QValueAxis::TicksDynamic);
            axis->setTickAnchor(std::ceil(low / step) * step);
            axis->setTickInterval(step);
        }
        axis->setLabelFormat(QStringLiteral("%g"));
        return axis;
    }
};

// A stretch of the seconds strip: seconds in a row that stood alike, between
// two places on the time axis.
struct StripCell
{
    double x0 = 0, x1 = 0;
    measurement::SecondClass least = measurement::SecondClass::ErrorFree;
    measurement::SecondClass most = measurement::SecondClass::ErrorFree;
    bool unknown = false;

    bool sameStanding(const StripCell& other) const
    {
        return least == other.least && most == other.most && unknown == other.unknown;
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
            } else if (gathering && narrow && span.x1 - out.back().x0 <= minWidth) {
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

// One colour of the strip over a band of its height: a rectangle a cell.
struct StripBand
{
    QAreaSeries* area = nullptr;
    double bottom = 0, top = 1;

    void add(double x0, double x1)
    {
        QLineSeries* upper = area->upperSeries();
        upper->append({QPointF(x0, bottom), QPointF(x0, top), QPointF(x1, top), QPointF(x1, bottom)});
    }
};

QString secondsText(const measurement::Bounded& seconds)
{
    return seconds.text() + QStringLiteral(" s");
}

measurement::Bounded sum(const measurement::Bounded& a, const measurement::Bounded& b)
{
    return {a.least + b.least, a.most + b.most};
}

// The seconds strip: a second known to stand in one class takes the class's
// colour from the bottom of the strip to the top; one that the reports leave
// between two classes, the least in the upper half and the most in the lower;
// one no report speaks for is hatched grey. Cells narrower than `minWidth`
// are widened to it about their middle, the worse classes drawn over the
// better ones. The legend gives the figures of the runs together.
void addSecondsStrip(QChart& chart, const std::vector<StripCell>& cells,
                     const measurement::ErrorPerformanceFigures& figures, QAbstractAxis* x, QAbstractAxis* y,
                     double xLow, double xHigh, double minWidth)
{
    enum Part { Whole, Upper, Lower };
    constexpr int kUnknown = 4;                     // after the classes
    std::map<std::pair<int, int>, StripBand> bands; // by (class, part)
    const auto band = [&](int cls, Part part) -> StripBand& {
        StripBand& b = bands[{cls, part}];
        if (!b.area) {
            // An area series does not own its lines: the area is their parent.
            b.area = new QAreaSeries;
            b.area->setUpperSeries(new QLineSeries(b.area));
            b.area->setLowerSeries(new QLineSeries(b.area));
            b.bottom = part == Upper ? 0.5 : 0;
            b.top = part == Lower ? 0.5 : 1;
            b.area->lowerSeries()->append({QPointF(xLow, b.bottom), QPointF(xHigh, b.bottom)});
            b.area->setPen(Qt::NoPen);
            b.area->setBrush(cls == kUnknown ? QBrush(kUnknownColor, Qt::BDiagPattern) : QBrush(kClassColors[cls]));
        }
        return b;
    };
    // The legend's entries, one a class, in the strip's order.
    const QString names[] = {
        QStringLiteral("error-free %1").arg(secondsText(figures.efs)),
        QStringLiteral("errored %1").arg(secondsText(figures.es)),
        QStringLiteral("severely errored %1").arg(secondsText(figures.ses)),
        QStringLiteral("unavailable %1").arg(secondsText(figures.unavailable)),
        QStringLiteral("unknown %1 s").arg(figures.unknown),
    };
    for (int cls = 0; cls <= kUnknown; ++cls)
        band(cls, Whole).area->setName(names[cls]);
    for (StripCell cell : cells) {
        if (cell.x1 - cell.x0 < minWidth) {
            const double middle = (cell.x0 + cell.x1) / 2;
            cell.x0 = middle - minWidth / 2;
            cell.x1 = middle + minWidth / 2;
        }
        if (cell.unknown) {
            band(kUnknown, Whole).add(cell.x0, cell.x1);
        } else if (cell.least == cell.most) {
            band(int(cell.least), Whole).add(cell.x0, cell.x1);
        } else {
            band(int(cell.least), Upper).add(cell.x0, cell.x1);
            band(int(cell.most), Lower).add(cell.x0, cell.x1);
        }
    }
    // The map's order, by class then part, is the order of drawing and of the legend.
    for (auto& [key, b] : bands) {
        chart.addSeries(b.area);
        b.area->attachAxis(x);
        b.area->attachAxis(y);
        for (QLegendMarker* marker : chart.legend()->markers(b.area))
            marker->setVisible(key.second == Whole);
    }
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
        bits += run->lastReport() ? run->lastReport()->runBits : 0;
    }
    const RunDigest& last = *runs.back();
    const ReadRow end = last.lastReport().value_or(last.last());
    QString title = QStringLiteral("%1 — started %2 UTC — %3 bits — BER %4, below %5 at %6 %")
                        .arg(devices.join(QStringLiteral(", ")),
                             runs.front()->started().time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
                             figure(double(bits)), figure(end.runBer), figure(end.runBerUpper))
                        .arg(last.recorded().confidence * 100);
    if (runs.size() > 1)
        title += QStringLiteral(" (last of %1 runs)").arg(runs.size());
    return title;
}

} // namespace

QString chartsTitle(const std::vector<const RunDigest*>& runs, const ChartLayout& layout)
{
    QString title = layout.title.isEmpty() ? defaultTitle(runs) : layout.title;
    const measurement::Verdict verdict = measurement::decide(runs.back()->analysis());
    if (!verdict.head.isEmpty())
        title += QStringLiteral(" — ") + verdict.head;
    return title;
}

namespace {

// What the charts show, worked out from the runs before any chart exists:
// the time axis, the curves and events along it, every second of the runs,
// and the BER axis's decades.
struct ChartData
{
    TimeScale scale;
    std::optional<std::pair<double, double>> range; // of one run's elapsed time
    Curve ber, berBound, berLoss, runBound, per, perLoss;
    std::vector<Event> events;
    std::optional<double> limit;
    double xLow = INFINITY, xHigh = -INFINITY;
    std::vector<std::vector<StripCell>> runSpans;
    measurement::ErrorPerformanceFigures performance;
    double yLow = INFINITY, yHigh = -INFINITY, perHigh = 0;
};

// One run along its elapsed time in a unit that suits the span, several along wall-clock time.
void chooseScale(ChartData& data, const std::vector<const RunDigest*>& runs, const ChartLayout& layout)
{
    TimeScale& scale = data.scale;
    scale.wallClock = runs.size() > 1;
    if (!scale.wallClock)
        data.range = layout.elapsedRange;
    if (!scale.wallClock) {
        const double span = data.range ? data.range->second - data.range->first : runs.front()->last().elapsed;
        if (span > 3 * 3600)
            scale = {false, 3600, QStringLiteral("h")};
        else if (span > 3 * 60)
            scale = {false, 60, QStringLiteral("min")};
    }
    scale.exactRange = bool(data.range);
}

// The curves, run by run, so that a new run starts a new stretch, and the events to mark.
void gatherCurves(ChartData& data, const std::vector<const RunDigest*>& runs)
{
    const QColor blue(31, 119, 180), red(214, 39, 40), grey(90, 90, 90);
    data.ber = {QStringLiteral("BER"), QPen(blue, 1.5), {}};
    data.berBound = {QStringLiteral("BER bound"), QPen(blue, 1, Qt::DashLine), {}};
    // Drawn under the BER without sync loss and wider, so that both show where they coincide.
    data.berLoss = {QStringLiteral("BER with sync loss"), QPen(red, 3.5), {}};
    data.runBound = {QStringLiteral("run's BER bound"), QPen(grey, 1.5, Qt::DotLine), {}};
    data.per = {QStringLiteral("PER"), QPen(blue, 1.5), {}};
    data.perLoss = {QStringLiteral("PER with sync loss"), QPen(red, 3.5), {}};
    const std::pair<Curve*, RunDigest::Curve> curves[] = {
        {&data.ber, RunDigest::Ber},         {&data.berBound, RunDigest::BerBound},
        {&data.berLoss, RunDigest::BerLoss}, {&data.runBound, RunDigest::RunBound},
        {&data.per, RunDigest::Per},         {&data.perLoss, RunDigest::PerLoss}};
    data.limit = runs.back()->analysis().settings().maxBer;
    const TimeScale& scale = data.scale;
    const std::optional<std::pair<double, double>>& range = data.range;
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
        for (const ReadRow& row : run->events())
            if ((row.is(RowEvent::DeviceLost) || row.is(RowEvent::DeviceBack) || row.is(RowEvent::CountsWentDown))
                && (!range || (row.elapsed >= range->first && row.elapsed <= range->second)))
                data.events.push_back({scale.x(*run, row.elapsed), row.event});
    }
    data.berBound.name = QStringLiteral("BER bound at %1 %").arg(runs.back()->recorded().confidence * 100);
}

// Every second of each run, from the analysis the recorder runs on the same rows.
void gatherSeconds(ChartData& data, const std::vector<const RunDigest*>& runs)
{
    measurement::ErrorPerformanceFigures& performance = data.performance;
    for (const RunDigest* run : runs) {
        const measurement::ErrorPerformanceFigures f = run->analysis().performance().figures();
        performance.unknown += f.unknown;
        performance.efs = sum(performance.efs, f.efs);
        performance.es = sum(performance.es, f.es);
        performance.ses = sum(performance.ses, f.ses);
        performance.unavailable = sum(performance.unavailable, f.unavailable);
        std::vector<StripCell>& cells = data.runSpans.emplace_back();
        for (const measurement::SecondSpan& span : run->analysis().performance().spans()) {
            // A run's first and last seconds may reach past its rows: cut at the axis's ends.
            const StripCell cell{std::max(data.xLow, data.scale.xOfTime(*run, span.first * 1000)),
                                 std::min(data.xHigh, data.scale.xOfTime(*run, (span.first + span.seconds) * 1000)),
                                 span.least, span.most, span.unknown};
            if (cell.x1 > cell.x0)
                cells.push_back(cell);
        }
    }
    if (data.xHigh <= data.xLow)
        data.xHigh = data.xLow + 1;
}

// Decades that hold every positive BER; some decades when there is none.
void fitRateAxes(ChartData& data)
{
    double& yLow = data.yLow;
    double& yHigh = data.yHigh;
    for (const Curve* curve : {&data.ber, &data.berBound, &data.berLoss, &data.runBound})
        for (const QList<QPointF>& stretch : curve->stretches)
            for (const QPointF& point : stretch) {
                yLow = std::min(yLow, point.y());
                yHigh = std::max(yHigh, point.y());
            }
    for (const Curve* curve : {&data.per, &data.perLoss})
        for (const QList<QPointF>& stretch : curve->stretches)
            for (const QPointF& point : stretch)
                data.perHigh = std::max(data.perHigh, point.y());
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
    gatherSeconds(data, runs);
    fitRateAxes(data);
    return data;
}

// The three charts on their scene, the BER above the PER above the seconds
// strip, which the scene owns.
struct ChartScene
{
    QGraphicsScene scene;
    QChart* top = new QChart;
    QChart* bottom = new QChart;
    QChart* strip = new QChart;
    QAbstractAxis* stripX = nullptr;

    std::array<QChart*, 3> charts() const { return {top, bottom, strip}; }
};

void placeCharts(ChartScene& charts, const std::vector<const RunDigest*>& runs, const ChartLayout& layout)
{
    charts.scene.addItem(charts.top);
    charts.scene.addItem(charts.bottom);
    charts.scene.addItem(charts.strip);
    const int stripHeight = layout.height * 3 / 20;
    const int topHeight = (layout.height - stripHeight) * 3 / 5;
    charts.top->setGeometry(0, 0, layout.width, topHeight);
    charts.bottom->setGeometry(0, topHeight, layout.width, layout.height - topHeight - stripHeight);
    charts.strip->setGeometry(0, layout.height - stripHeight, layout.width, stripHeight);
    QString title = (layout.title.isEmpty() ? defaultTitle(runs) : layout.title).toHtmlEscaped();
    const measurement::Verdict verdict = measurement::decide(runs.back()->analysis());
    if (!verdict.head.isEmpty())
        title += QStringLiteral("<br>") + verdict.head.toHtmlEscaped();
    charts.top->setTitle(title);
    for (QChart* chart : charts.charts()) {
        chart->setAnimationOptions(QChart::NoAnimation);
        chart->legend()->setAlignment(Qt::AlignRight);
        // Line samples, not colour squares: dashed and dotted curves of one colour stay apart.
        chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
        chart->setBackgroundRoundness(0);
    }
}

void buildBerChart(QChart& top, const ChartData& data, const ChartLayout& layout)
{
    QAbstractAxis* topX = data.scale.makeAxis(data.xLow, data.xHigh);
    auto* logY = new QLogValueAxis;
    logY->setBase(10);
    logY->setRange(data.yLow, data.yHigh);
    logY->setLabelFormat(QStringLiteral("%.0e"));
    logY->setMinorTickCount(-1);
    logY->setTitleText(QStringLiteral("BER"));
    top.addAxis(topX, Qt::AlignBottom);
    top.addAxis(logY, Qt::AlignLeft);
    for (const Curve* curve : {&data.berLoss, &data.ber, &data.berBound, &data.runBound})
        addCurve(top, *curve, topX, logY, data.xLow, data.xHigh, layout.width);
    if (data.limit)
        addLimit(top, *data.limit, topX, logY, data.xLow, data.xHigh);
    addEvents(top, data.events, topX, nullptr, logY, true);
}

void buildPerChart(QChart& bottom, const ChartData& data, const ChartLayout& layout)
{
    QAbstractAxis* bottomX = data.scale.makeAxis(data.xLow, data.xHigh);
    auto* linearY = new QValueAxis;
    linearY->setRange(0, data.perHigh > 0 ? data.perHigh * 1.1 : 1);
    linearY->setTitleText(QStringLiteral("PER (%)"));
    linearY->applyNiceNumbers();
    bottom.addAxis(bottomX, Qt::AlignBottom);
    bottom.addAxis(linearY, Qt::AlignLeft);
    for (const Curve* curve : {&data.perLoss, &data.per})
        addCurve(bottom, *curve, bottomX, linearY, data.xLow, data.xHigh, layout.width);
    addEvents(bottom, data.events, bottomX, linearY, nullptr, false);
}

// Returns the strip's time axis, whose font and colour its side labels take.
QAbstractAxis* buildSecondsStrip(QChart& strip, const ChartData& data, const ChartLayout& layout)
{
    QAbstractAxis* stripX = data.scale.makeAxis(data.xLow, data.xHigh);
    stripX->setTitleVisible(false);
    // A row of five under the band: the strip stays narrow.
    strip.legend()->setAlignment(Qt::AlignBottom);
    strip.legend()->setMarkerShape(QLegend::MarkerShapeRectangle);
    strip.setMargins(QMargins(20, 0, 20, 0));
    strip.layout()->setContentsMargins(0, 0, 0, 0);
    auto* stripY = new QValueAxis;
    stripY->setRange(0, 1);
    stripY->setVisible(false);
    strip.addAxis(stripX, Qt::AlignBottom);
    strip.addAxis(stripY, Qt::AlignLeft);
    const double minWidth = 2 * (data.xHigh - data.xLow) / layout.width;
    addSecondsStrip(strip, stripCells(data.runSpans, minWidth), data.performance, stripX, stripY, data.xLow, data.xHigh,
                    minWidth);
    return stripX;
}

void buildCharts(ChartScene& charts, const ChartData& data, const std::vector<const RunDigest*>& runs,
                 const ChartLayout& layout)
{
    placeCharts(charts, runs, layout);
    buildBerChart(*charts.top, data, layout);
    buildPerChart(*charts.bottom, data, layout);
    charts.stripX = buildSecondsStrip(*charts.strip, data, layout);
}

// Lays the charts out with their plot areas over the same columns, to the
// pixel; returns the columns' left and right on the scene.
std::pair<qreal, qreal> alignPlotAreas(const ChartScene& charts)
{
    // The charts lay out their axes, labels and titles on posted events.
    QCoreApplication::sendPostedEvents();
    // A chart lays out a plot area it is given only when its own geometry changes: nudge it.
    qreal left = -INFINITY, right = INFINITY;
    for (const QChart* chart : charts.charts()) {
        left = std::max(left, chart->plotArea().left());
        right = std::min(right, chart->plotArea().right());
    }
    for (QChart* chart : charts.charts()) {
        const QRectF plotArea = chart->plotArea();
        chart->setPlotArea(QRectF(left, plotArea.top(), right - left, plotArea.height()));
        const QRectF geometry = chart->geometry();
        chart->setGeometry(geometry.adjusted(0, 0, 1, 0));
        chart->setGeometry(geometry);
    }
    QCoreApplication::sendPostedEvents();
    return {left, right};
}

// The halves of a second the reports leave between two classes, named at the strip's side.
void labelStripHalves(QChart& strip, const QAbstractAxis& stripX)
{
    QFont small = stripX.labelsFont();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    for (const auto& [name, middle] : {std::pair{QStringLiteral("least"), 0.25}, {QStringLiteral("most"), 0.75}}) {
        auto* label = new QGraphicsSimpleTextItem(name, &strip);
        label->setFont(small);
        label->setBrush(stripX.labelsBrush());
        const QRectF box = label->boundingRect();
        const QRectF band = strip.plotArea();
        label->setPos(band.left() - box.width() - 6, band.top() + band.height() * middle - box.height() / 2);
    }
}

ChartGeometry renderCharts(ChartScene& charts, QPainter& painter, const QRectF& target, const ChartData& data,
                           const RunDigest& first, const ChartLayout& layout)
{
    const QRectF area(0, 0, layout.width, layout.height);
    charts.scene.setSceneRect(area);
    const auto [left, right] = alignPlotAreas(charts);
    labelStripHalves(*charts.strip, *charts.stripX);
    painter.save();
    painter.fillRect(target, Qt::white);
    charts.scene.render(&painter, target, area);
    painter.restore();
    const double toTarget = target.width() / area.width();
    ChartGeometry geometry;
    geometry.plotLeft = target.left() + left * toTarget;
    geometry.plotRight = target.left() + right * toTarget;
    geometry.elapsedLow = data.range ? data.range->first : first.started().elapsed;
    geometry.elapsedHigh = data.range ? data.range->second : first.last().elapsed;
    return geometry;
}

} // namespace

ChartGeometry drawRunCharts(QPainter& painter, const QRectF& target, const std::vector<const RunDigest*>& runs,
                            const ChartLayout& layout)
{
    const ChartData data = prepareCharts(runs, layout);
    ChartScene charts;
    buildCharts(charts, data, runs, layout);
    return renderCharts(charts, painter, target, data, *runs.front(), layout);
}
