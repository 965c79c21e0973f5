#include "measurement/ErrorPerformance.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace measurement {

namespace {

constexpr quint64 kCount16 = 65536; // what a 16-bit count holds, 0 included
constexpr qint64 kMsPerSecond = 1000;

quint64 less(quint64 a, quint64 b)
{
    return a > b ? a - b : 0;
}

// count × part / whole, rounded down or up; the counts of one interval are far
// below the range where the product could overflow.
quint64 shareDown(quint64 count, qint64 part, qint64 whole)
{
    return count * quint64(part) / quint64(whole);
}

quint64 shareUp(quint64 count, qint64 part, qint64 whole)
{
    return (count * quint64(part) + quint64(whole) - 1) / quint64(whole);
}

quint64 increase16(quint64 now, quint64 before)
{
    return (now + kCount16 - before % kCount16) % kCount16;
}

QString numberText(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("N/A");
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(qint64(value));
    return QString::number(value, 'g', 6);
}

Bounded ratio(double leastCount, double mostCount, double leastWhole, double mostWhole)
{
    // The least over the largest whole, the most over the smallest; a ratio of
    // a part to its whole is at most 1.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (!(mostWhole > 0))
        return {nan, nan};
    const double least = leastCount / mostWhole;
    const double most = leastWhole > 0 ? std::min(1.0, mostCount / leastWhole) : 1.0;
    return {least, most};
}

SecondClass classOf(bool available, bool severe, bool errored)
{
    if (!available)
        return SecondClass::Unavailable;
    if (severe)
        return SecondClass::Severe;
    return errored ? SecondClass::Errored : SecondClass::ErrorFree;
}

} // namespace

QString Bounded::text() const
{
    if (exact() || (!std::isfinite(least) && !std::isfinite(most)))
        return numberText(least);
    return QStringLiteral("[%1,%2]").arg(numberText(least), numberText(most));
}

std::vector<std::pair<const char*, Bounded>> namedFigures(const ErrorPerformanceFigures& f)
{
    return {
        {"seconds", {double(f.seconds), double(f.seconds)}},
        {"unknown_s", {double(f.unknown), double(f.unknown)}},
        {"available_s", f.available},
        {"unavailable_s", f.unavailable},
        {"es", f.es},
        {"ses", f.ses},
        {"bbe", f.bbe},
        {"efs", f.efs},
        {"esr", f.esr},
        {"sesr", f.sesr},
        {"bber", f.bber},
    };
}

ErrorPerformance::ErrorPerformance(CounterModel model, int severePercent)
    : m_model(model)
    , m_severePercent(severePercent)
{
}

void ErrorPerformance::deviceLost()
{
    m_gap = true;
}

ErrorPerformance::Interval ErrorPerformance::intervalTo(qint64 msSinceEpoch, const ReportCounts& counts,
                                                        const TotalsStep& step) const
{
    Interval interval;
    interval.startMs = m_lastMs;
    interval.endMs = msSinceEpoch;
    const qint64 duration = msSinceEpoch - m_lastMs;
    // More frames than a 16-bit count holds may have come and gone unseen.
    const bool periodMayHavePassed =
        m_knownMs > 0 && double(m_knownFrames) / double(m_knownMs) * double(duration) >= double(kCount16);

    ReportCounts increment;
    bool exact = !m_gap && !periodMayHavePassed;
    if (step.increment) {
        increment = *step.increment;
    } else if (m_model == CounterModel::Wrap) {
        increment = {increase16(counts.recvFrame, m_last.recvFrame), increase16(counts.lossFrame, m_last.lossFrame),
                     increase16(counts.errorFrame, m_last.errorFrame), 0};
    } else {
        // A new test period: its own counts are known; of the frames before
        // it, only that they filled no count of the period before.
        increment = counts;
        interval.sentMost = counts.recvFrame + counts.lossFrame + less(kCount16 - 1, m_last.recvFrame)
                            + less(kCount16 - 1, m_last.lossFrame);
        // Errored frames are received frames: neither count can have passed 65535.
        interval.erroredMost =
            counts.errorFrame + std::min(less(kCount16 - 1, m_last.errorFrame), less(kCount16 - 1, m_last.recvFrame));
        interval.lostMost = counts.lossFrame + less(kCount16 - 1, m_last.lossFrame);
        interval.unknown = true;
        exact = false;
    }
    if (m_gap) {
        // Whatever the counts say, they may be another unit's, or a unit's that started again.
        increment = {};
        interval.unknown = interval.unbounded = true;
    } else if (periodMayHavePassed) {
        interval.unknown = interval.unbounded = true;
    }
    interval.sentLeast = increment.recvFrame + increment.lossFrame;
    interval.erroredLeast = increment.errorFrame;
    interval.lostLeast = increment.lossFrame;
    if (exact) {
        interval.sentMost = interval.sentLeast;
        interval.erroredMost = interval.erroredLeast;
        interval.lostMost = interval.lostLeast;
    }
    return interval;
}

void ErrorPerformance::add(qint64 msSinceEpoch, const ReportCounts& counts, const TotalsStep& step)
{
    if (!m_started) {
        m_started = true;
        m_gap = false;
        m_last = counts;
        m_lastMs = msSinceEpoch;
        return;
    }
    if (msSinceEpoch < m_lastMs) // a clock set back: the report counts as arrived with the last
        msSinceEpoch = m_lastMs;
    if (msSinceEpoch == m_lastMs && m_pending) {
        // Arrived with the last one: its increments join the last interval,
        // whose reports cannot be told apart in time.
        const Interval more = intervalTo(msSinceEpoch, counts, step);
        Interval& joined = *m_pending;
        joined.sentLeast += more.sentLeast;
        joined.sentMost += more.sentMost;
        joined.erroredLeast += more.erroredLeast;
        joined.erroredMost += more.erroredMost;
        joined.lostLeast += more.lostLeast;
        joined.lostMost += more.lostMost;
        joined.unknown = joined.unknown || more.unknown;
        joined.unbounded = joined.unbounded || more.unbounded;
    } else if (msSinceEpoch == m_lastMs) {
        // The first interval has no length: its frames came before the run's time.
    } else {
        if (m_pending) {
            // Pointed at our spans only while in use, so that a copy of this object stays whole.
            m_state.spans = &m_spans;
            spread(m_state, *m_pending);
            closeBefore(m_state, utcSecondOf(m_pending->endMs), m_severePercent);
            m_state.spans = nullptr;
        }
        m_pending = intervalTo(msSinceEpoch, counts, step);
        if (!m_pending->unknown) {
            m_knownFrames += m_pending->sentLeast;
            m_knownMs += msSinceEpoch - m_lastMs;
        }
    }
    m_gap = false;
    m_last = counts;
    m_lastMs = msSinceEpoch;
}

void ErrorPerformance::spread(State& state, const Interval& interval)
{
    const qint64 duration = interval.endMs - interval.startMs;
    if (duration <= 0)
        return;
    for (qint64 second = utcSecondOf(interval.startMs); second <= utcSecondOf(interval.endMs - 1); ++second) {
        const qint64 from = std::max(interval.startMs, second * kMsPerSecond);
        const qint64 to = std::min(interval.endMs, (second + 1) * kMsPerSecond);
        const qint64 inside = to - from;
        if (state.open.empty() || state.open.back().second < second)
            state.open.push_back({second});
        SecondCounts& counts = state.open.back();
        // At most this many of the interval's frames lie outside the second,
        // so at least the rest of its errored and lost frames lie inside.
        // One frame of slack either way: a unit's frame clock and ours need not
        // round alike. An interval inside one second has all its frames there.
        const quint64 slack = inside == duration ? 0 : 1;
        const quint64 outside = shareUp(interval.sentMost, duration - inside, duration) + slack;
        const quint64 blocksMost = shareUp(interval.sentMost, inside, duration) + slack;
        counts.blocksLeast += less(shareDown(interval.sentLeast, inside, duration), slack);
        counts.blocksMost += blocksMost;
        counts.erroredLeast += inside == duration ? interval.erroredLeast : less(interval.erroredLeast, outside);
        counts.lostLeast += inside == duration ? interval.lostLeast : less(interval.lostLeast, outside);
        counts.erroredMost += std::min(interval.erroredMost, blocksMost);
        counts.lostMost += std::min(interval.lostMost, blocksMost);
        counts.unknown = counts.unknown || interval.unknown;
        counts.unbounded = counts.unbounded || interval.unbounded;
    }
}

void ErrorPerformance::closeBefore(State& state, qint64 second, int severePercent)
{
    while (!state.open.empty() && state.open.front().second < second) {
        close(state, state.open.front(), severePercent);
        state.open.pop_front();
    }
}

void ErrorPerformance::close(State& state, const SecondCounts& c, int severePercent)
{
    Standing s;
    s.second = c.second;
    s.unknown = c.unknown;
    s.unbounded = c.unbounded;
    s.erroredLeast = c.erroredLeast;
    s.erroredMost = c.erroredMost;
    s.blocksLeast = c.blocksLeast;
    s.blocksMost = c.blocksMost;
    s.certainlyErrored = c.erroredLeast > 0 || c.lostLeast > 0;
    s.possiblyErrored = c.unknown || c.erroredMost > 0 || c.lostMost > 0;
    // Severe: errored blocks at least 30 % of the second's blocks, or a defect.
    s.certainlySevere =
        c.lostLeast > 0
        || (!c.unbounded && c.blocksMost > 0 && c.erroredLeast * 100 >= quint64(severePercent) * c.blocksMost);
    s.possiblySevere = c.unknown || c.lostMost > 0
                       || (c.erroredMost > 0 && c.erroredMost * 100 >= quint64(severePercent) * c.blocksLeast);
    state.waiting.push_back(s);
    state.fewest.add(s.certainlySevere, [&state](qint64 count, bool available) {
        for (qint64 i = 0; i < count; ++i)
            state.waiting[size_t(state.decidedFewest++)].availableAtLeast = available;
    });
    state.most.add(s.possiblySevere, [&state](qint64 count, bool available) {
        for (qint64 i = 0; i < count; ++i)
            state.waiting[size_t(state.decidedMost++)].availableAtMost = available;
    });
    settle(state);
}

void ErrorPerformance::settle(State& state)
{
    while (state.decidedFewest > 0 && state.decidedMost > 0) {
        count(state, state.waiting.front());
        state.waiting.pop_front();
        --state.decidedFewest;
        --state.decidedMost;
    }
}

void ErrorPerformance::count(State& state, const Standing& s)
{
    // Available even with every possibly severe second severe: certainly
    // available. Unavailable even with only the certain ones: certainly not.
    const bool certainlyAvailable = s.availableAtMost == 1;
    const bool possiblyAvailable = s.availableAtLeast == 1;
    Totals& t = state.totals;
    ++t.seconds;
    t.unknown += s.unknown;
    t.availableLeast += certainlyAvailable;
    t.availableMost += possiblyAvailable;
    t.esLeast += s.certainlyErrored && certainlyAvailable;
    t.esMost += s.possiblyErrored && possiblyAvailable;
    t.sesLeast += s.certainlySevere && certainlyAvailable;
    t.sesMost += s.possiblySevere && possiblyAvailable;
    t.efsLeast += certainlyAvailable && !s.possiblyErrored;
    // An unknown second is never counted error-free for certain, but it may have been.
    t.efsMost += possiblyAvailable && !s.certainlyErrored;
    if (certainlyAvailable && !s.possiblySevere) {
        t.bbeLeast += s.erroredLeast;
        t.bbeBlocksLeast += s.blocksLeast;
    }
    // An unknown second with nothing to bound it counts as severely errored.
    if (possiblyAvailable && !s.certainlySevere && !s.unbounded) {
        t.bbeMost += s.erroredMost;
        t.bbeBlocksMost += s.blocksMost;
    }

    SecondSpan span;
    span.first = s.second;
    span.seconds = 1;
    span.least = classOf(possiblyAvailable, s.certainlySevere, s.certainlyErrored);
    span.most = classOf(certainlyAvailable, s.possiblySevere, s.possiblyErrored);
    span.unknown = s.unknown;
    if (!state.spans)
        return;
    std::vector<SecondSpan>& spans = *state.spans;
    if (!spans.empty() && spans.back().sameStanding(span) && spans.back().first + spans.back().seconds == span.first)
        ++spans.back().seconds;
    else
        spans.push_back(span);
}

void ErrorPerformance::finish(State& state, int severePercent)
{
    closeBefore(state, std::numeric_limits<qint64>::max(), severePercent);
    state.fewest.finish([&state](qint64 count, bool available) {
        for (qint64 i = 0; i < count; ++i)
            state.waiting[size_t(state.decidedFewest++)].availableAtLeast = available;
    });
    state.most.finish([&state](qint64 count, bool available) {
        for (qint64 i = 0; i < count; ++i)
            state.waiting[size_t(state.decidedMost++)].availableAtMost = available;
    });
    settle(state);
}

ErrorPerformance::State ErrorPerformance::finished(std::vector<SecondSpan>* spans) const
{
    State state = m_state;
    state.spans = spans;
    if (m_pending)
        spread(state, *m_pending);
    finish(state, m_severePercent);
    return state;
}

ErrorPerformanceFigures ErrorPerformance::figures() const
{
    const Totals t = finished(nullptr).totals;
    ErrorPerformanceFigures f;
    f.seconds = t.seconds;
    f.unknown = t.unknown;
    f.available = {double(t.availableLeast), double(t.availableMost)};
    f.unavailable = {double(t.seconds - t.availableMost), double(t.seconds - t.availableLeast)};
    f.es = {double(t.esLeast), double(t.esMost)};
    f.ses = {double(t.sesLeast), double(t.sesMost)};
    f.efs = {double(t.efsLeast), double(t.efsMost)};
    f.bbe = {double(t.bbeLeast), double(t.bbeMost)};
    f.esr = ratio(f.es.least, f.es.most, f.available.least, f.available.most);
    f.sesr = ratio(f.ses.least, f.ses.most, f.available.least, f.available.most);
    f.bber = ratio(f.bbe.least, f.bbe.most, double(t.bbeBlocksLeast), double(t.bbeBlocksMost));
    return f;
}

std::vector<SecondSpan> ErrorPerformance::spans() const
{
    std::vector<SecondSpan> spans = m_spans;
    finished(&spans);
    return spans;
}

} // namespace measurement
