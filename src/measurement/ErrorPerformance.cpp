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

// A share of an interval's frames, as an exact ratio of two lengths in ms.
struct Ratio
{
    qint64 num = 0, den = 1; // den > 0

    friend bool operator<(const Ratio& a, const Ratio& b)
    {
        return __int128(a.num) * b.den < __int128(b.num) * a.den;
    }
    bool whole() const { return num >= den; }
};

// count × ratio, rounded down or up, exactly.
quint64 timesDown(quint64 count, Ratio r)
{
    return quint64(__int128(count) * r.num / r.den);
}

quint64 timesUp(quint64 count, Ratio r)
{
    return quint64((__int128(count) * r.num + r.den - 1) / r.den);
}

// The least and the most share of an interval's frames that fall in the ms
// [s0, s1), over every pair of moments a in [aLo, aHi] and b in [bLo, bHi]
// the interval may have run between. On each cell that the second's ends cut
// the rectangle into, the share is a ratio of linear functions of a and b, so
// its extremes lie at the cells' corners.
std::pair<Ratio, Ratio> shareIn(qint64 aLo, qint64 aHi, qint64 bLo, qint64 bHi, qint64 s0, qint64 s1)
{
    if (aHi >= bLo) {
        // The moments may meet: every frame may fall in any second the
        // interval reaches, and all of them surely only in one that holds it whole.
        const bool holds = aLo >= s0 && bHi <= s1;
        const bool reached = aLo < s1 && bHi > s0;
        return {{holds ? 1 : 0, 1}, {reached ? 1 : 0, 1}};
    }
    const qint64 as[] = {aLo, aHi, std::clamp(s0, aLo, aHi), std::clamp(s1, aLo, aHi)};
    const qint64 bs[] = {bLo, bHi, std::clamp(s0, bLo, bHi), std::clamp(s1, bLo, bHi)};
    Ratio least{1, 1}, most{0, 1};
    for (const qint64 a : as)
        for (const qint64 b : bs) {
            const Ratio share{std::max<qint64>(0, std::min(b, s1) - std::max(a, s0)), b - a};
            least = std::min(least, share);
            most = std::max(most, share);
        }
    return {least, most};
}

qint64 floorDiv(qint64 ms, qint64 by)
{
    return ms >= 0 ? ms / by : -((-ms + by - 1) / by);
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

ErrorPerformance::ErrorPerformance(CounterModel model, LineTiming timing, int severePercent)
    : m_model(model)
    , m_timing(timing)
    , m_severePercent(severePercent)
{
}

void ErrorPerformance::deviceLost()
{
    m_gap = true;
}

qint64 ErrorPerformance::windowLo(qint64 at, qint64 lateMs) const
{
    return at - qint64(std::ceil(m_timing.wireMs)) - m_timing.latencyMs - lateMs;
}

qint64 ErrorPerformance::windowHi(qint64 at) const
{
    return at - qint64(std::floor(m_timing.wireMs));
}

ErrorPerformance::Interval ErrorPerformance::intervalTo(qint64 at, qint64 lateMs, const ReportCounts& counts,
                                                        const TotalsStep& step) const
{
    Interval interval;
    interval.aLo = windowLo(m_lastMs, m_lastLateMs);
    interval.aHi = windowHi(m_lastMs);
    interval.bLo = windowLo(at, lateMs);
    interval.bHi = windowHi(at);
    const qint64 duration = interval.bHi - interval.aLo;
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

ErrorPerformance::Interval ErrorPerformance::silenceTo(qint64 at) const
{
    Interval interval;
    interval.aLo = windowLo(m_lastMs, m_lastLateMs);
    interval.aHi = windowHi(m_lastMs);
    interval.bLo = interval.bHi = std::max(at, interval.aHi);
    interval.unknown = interval.unbounded = true;
    return interval;
}

bool ErrorPerformance::silentAt(qint64 elapsedMs) const
{
    // Before the first interval nothing says how often the unit reports.
    return m_longestIntervalMs > 0 && elapsedMs + m_offsetMs - m_lastMs > m_longestIntervalMs + m_timing.latencyMs;
}

qint64 ErrorPerformance::longestSilenceMs() const
{
    return std::max(m_longestSilenceMs, m_untilMs - m_lastMs);
}

void ErrorPerformance::runUntil(const RunMoment& at)
{
    if (m_started)
        m_untilMs = std::max(m_untilMs, internalMs(at));
}

void ErrorPerformance::add(const RunMoment& at, const ReportCounts& counts, const TotalsStep& step)
{
    if (!m_started) {
        m_started = true;
        m_gap = false;
        m_last = counts;
        m_offsetMs = m_lastUtcOffsetMs = at.utcMs - at.elapsedMs;
        m_lastMs = m_untilMs = internalMs(at);
        m_lastLateMs = at.lateMs;
        return;
    }
    // The run's time is the monotonic clock: a step of the wall clock makes
    // the interval across it unknown, and the run's seconds follow the clock
    // when it went ahead; never back, so that no second counts twice.
    const qint64 offset = at.utcMs - at.elapsedMs;
    const bool stepped = clockStepped(m_lastUtcOffsetMs, offset, internalMs(at) - m_lastMs);
    m_lastUtcOffsetMs = offset;
    qint64 now = std::max(internalMs(at), m_lastMs); // a file's rows may still go back
    if (now == m_lastMs && m_pending && !stepped) {
        // Arrived with the last one: its increments join the last interval,
        // whose reports cannot be told apart in time.
        const Interval more = intervalTo(now, at.lateMs, counts, step);
        Interval& joined = *m_pending;
        joined.sentLeast += more.sentLeast;
        joined.sentMost += more.sentMost;
        joined.erroredLeast += more.erroredLeast;
        joined.erroredMost += more.erroredMost;
        joined.lostLeast += more.lostLeast;
        joined.lostMost += more.lostMost;
        joined.unknown = joined.unknown || more.unknown;
        joined.unbounded = joined.unbounded || more.unbounded;
        joined.bLo = std::min(joined.bLo, more.bLo);
    } else if (now == m_lastMs && !m_pending) {
        // The first interval has no length: its frames came before the run's time.
    } else {
        if (m_pending) {
            // Pointed at our spans only while in use, so that a copy of this object stays whole.
            m_state.spans = &m_spans;
            spread(m_state, *m_pending);
            closeBefore(m_state, utcSecondOf(windowLo(m_lastMs, m_lastLateMs)), m_severePercent);
            m_state.spans = nullptr;
        }
        const qint64 duration = now - m_lastMs;
        m_pending = intervalTo(now, at.lateMs, counts, step);
        const bool silent = m_longestIntervalMs > 0 && duration > m_longestIntervalMs + m_timing.latencyMs;
        m_longestSilenceMs = std::max(m_longestSilenceMs, duration);
        if (silent || stepped)
            m_pending->unknown = true;
        if (!m_pending->unknown) {
            m_longestIntervalMs = std::max(m_longestIntervalMs, duration);
            m_knownFrames += m_pending->sentLeast;
            m_knownMs += duration;
        }
    }
    if (stepped && offset > m_offsetMs) {
        m_offsetMs = offset; // ahead with the clock; never back
        now = internalMs(at);
    }
    m_gap = false;
    m_last = counts;
    m_lastMs = now;
    m_lastLateMs = at.lateMs;
    m_untilMs = std::max(m_untilMs, now);
}

ErrorPerformance::SecondCounts& ErrorPerformance::secondAt(State& state, qint64 second)
{
    std::deque<SecondCounts>& open = state.open;
    size_t i = open.size();
    while (i > 0 && open[i - 1].second > second)
        --i;
    if (i > 0 && second < open[i - 1].second + open[i - 1].seconds) {
        SecondCounts& stretch = open[i - 1];
        if (stretch.seconds == 1)
            return stretch;
        // One second of a stretch: the stretch cut around it. What begins
        // at the stretch's first second stays with it.
        SecondCounts after = stretch;
        after.reaches.clear();
        after.mustErrBy = after.mustLoseBy = std::numeric_limits<qint64>::max();
        after.second = second + 1;
        after.seconds = stretch.second + stretch.seconds - after.second;
        SecondCounts at = after;
        at.second = second;
        at.seconds = 1;
        stretch.seconds = second - stretch.second;
        size_t atIndex = i;
        if (stretch.seconds == 0) {
            at.reaches = std::move(stretch.reaches);
            at.mustErrBy = stretch.mustErrBy;
            at.mustLoseBy = stretch.mustLoseBy;
            open.erase(open.begin() + qsizetype(--atIndex));
        }
        if (after.seconds > 0)
            open.insert(open.begin() + qsizetype(atIndex), after);
        return *open.insert(open.begin() + qsizetype(atIndex), at);
    }
    SecondCounts fresh;
    fresh.second = second;
    return *open.insert(open.begin() + qsizetype(i), fresh);
}

void ErrorPerformance::spread(State& state, const Interval& interval)
{
    if (interval.bHi <= interval.aLo)
        return;
    const qint64 first = utcSecondOf(interval.aLo);
    const qint64 last = utcSecondOf(interval.bHi - 1);
    // Seconds wholly between the two windows stand alike: one stretch.
    qint64 insideFirst = floorDiv(interval.aHi + kMsPerSecond - 1, kMsPerSecond);
    qint64 insideEnd = floorDiv(interval.bLo, kMsPerSecond);
    if (interval.aHi >= interval.bLo || insideEnd <= insideFirst)
        insideFirst = insideEnd = last + 1;
    const auto add = [&](SecondCounts& counts, std::pair<Ratio, Ratio> share) {
        const auto [least, most] = share;
        // At most this many of the interval's frames lie outside the second,
        // so at least the rest of its errored and lost frames lie inside.
        // One frame of slack either way: a unit's frame clock and ours need not
        // round alike. An interval inside one second has all its frames there.
        const bool whole = least.whole();
        const quint64 slack = whole ? 0 : 1;
        const quint64 blocksMost = std::min(interval.sentMost, timesUp(interval.sentMost, most) + slack);
        const quint64 outside = timesUp(interval.sentMost, {least.den - least.num, least.den}) + slack;
        counts.blocksLeast += less(timesDown(interval.sentLeast, least), slack);
        counts.blocksMost += blocksMost;
        counts.erroredLeast += whole ? interval.erroredLeast : less(interval.erroredLeast, outside);
        counts.lostLeast += whole ? interval.lostLeast : less(interval.lostLeast, outside);
        counts.erroredMost += std::min(interval.erroredMost, blocksMost);
        counts.lostMost += std::min(interval.lostMost, blocksMost);
        counts.unknown = counts.unknown || interval.unknown;
        counts.unbounded = counts.unbounded || interval.unbounded;
    };
    const auto one = [&](qint64 second) {
        add(secondAt(state, second), shareIn(interval.aLo, interval.aHi, interval.bLo, interval.bHi,
                                             second * kMsPerSecond, (second + 1) * kMsPerSecond));
    };
    for (qint64 second = first; second < std::min(insideFirst, last + 1); ++second)
        one(second);
    if (insideEnd > insideFirst) {
        SecondCounts stretch;
        stretch.second = insideFirst;
        stretch.seconds = insideEnd - insideFirst;
        add(stretch, {{kMsPerSecond, interval.bHi - interval.aLo}, {kMsPerSecond, interval.bLo - interval.aHi}});
        state.open.push_back(stretch);
    }
    for (qint64 second = std::max(first, std::max(insideEnd, insideFirst)); second <= last; ++second)
        one(second);

    // Where its bad frames may go, for the passes that count errored and
    // severely errored seconds.
    SecondCounts& start = secondAt(state, first);
    if (interval.erroredLeast + interval.lostLeast > 0)
        start.mustErrBy = std::min(start.mustErrBy, last);
    if (interval.lostLeast > 0)
        start.mustLoseBy = std::min(start.mustLoseBy, last);
    if (const quint64 bad = interval.erroredMost + interval.lostMost; bad > 0)
        start.reaches.push_back({last, bad, interval.lostMost});
}

void ErrorPerformance::closeBefore(State& state, qint64 second, int severePercent)
{
    while (!state.open.empty() && state.open.front().second < second) {
        SecondCounts& front = state.open.front();
        if (front.second + front.seconds <= second) {
            close(state, front, severePercent);
            state.open.pop_front();
            continue;
        }
        // A stretch that reaches past `second`: its part before closes.
        SecondCounts head = front;
        head.seconds = second - front.second;
        front.seconds -= head.seconds;
        front.second = second;
        front.reaches.clear();
        front.mustErrBy = front.mustLoseBy = std::numeric_limits<qint64>::max();
        close(state, head, severePercent);
    }
}

void ErrorPerformance::close(State& state, const SecondCounts& c, int severePercent)
{
    Standing s;
    s.second = c.second;
    s.seconds = c.seconds;
    s.unknown = c.unknown;
    s.unbounded = c.unbounded;
    s.erroredLeast = c.erroredLeast;
    s.erroredMost = c.erroredMost;
    s.blocksLeast = c.blocksLeast;
    s.blocksMost = c.blocksMost;
    s.mustErrBy = c.mustErrBy;
    s.mustLoseBy = c.mustLoseBy;
    s.reaches = c.reaches;
    s.certainlyErrored = c.erroredLeast > 0 || c.lostLeast > 0;
    s.possiblyErrored = c.unknown || c.erroredMost > 0 || c.lostMost > 0;
    // Severe: errored blocks at least 30 % of the second's blocks, or a defect.
    s.certainlySevere =
        c.lostLeast > 0
        || (!c.unbounded && c.blocksMost > 0 && c.erroredLeast * 100 >= quint64(severePercent) * c.blocksMost);
    s.possiblySevereByShare =
        c.unknown || (c.erroredMost > 0 && c.erroredMost * 100 >= quint64(severePercent) * c.blocksLeast);
    s.possiblySevere = s.possiblySevereByShare || c.lostMost > 0;
    state.waiting.push_back(s);
    state.fewest.add(s.certainlySevere, s.seconds,
                     [&state](qint64 count, bool available) { decide(state, true, count, available); });
    state.most.add(s.possiblySevere, s.seconds,
                   [&state](qint64 count, bool available) { decide(state, false, count, available); });
    settle(state);
}

void ErrorPerformance::decide(State& state, bool byFewest, qint64 count, bool available)
{
    size_t& cursor = byFewest ? state.decidedFewest : state.decidedMost;
    size_t& other = byFewest ? state.decidedMost : state.decidedFewest;
    while (count > 0) {
        Standing& s = state.waiting[cursor];
        if (s.seconds > count) {
            // Decided in part: cut, so that each entry stands alike under both.
            Standing rest = s;
            rest.second += count;
            rest.seconds -= count;
            rest.reaches.clear();
            rest.mustErrBy = rest.mustLoseBy = std::numeric_limits<qint64>::max();
            s.seconds = count;
            state.waiting.insert(state.waiting.begin() + qsizetype(cursor) + 1, rest);
            if (other > cursor)
                ++other;
        }
        Standing& decided = state.waiting[cursor];
        (byFewest ? decided.availableAtLeast : decided.availableAtMost) = available;
        count -= decided.seconds;
        ++cursor;
    }
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
    const qint64 n = s.seconds;
    Totals& t = state.totals;
    t.seconds += n;
    t.unknown += s.unknown ? n : 0;
    t.availableLeast += certainlyAvailable ? n : 0;
    t.availableMost += possiblyAvailable ? n : 0;
    t.sesLeast += s.certainlySevere && certainlyAvailable ? n : 0;
    t.efsLeast += certainlyAvailable && !s.possiblyErrored ? n : 0;
    // An unknown second is never counted error-free for certain, but it may have been.
    t.efsMost += possiblyAvailable && !s.certainlyErrored ? n : 0;
    if (certainlyAvailable && !s.possiblySevere) {
        t.bbeLeast += s.erroredLeast * quint64(n);
        t.bbeBlocksLeast += s.blocksLeast * quint64(n);
    }
    // An unknown second with nothing to bound it counts as severely errored.
    if (possiblyAvailable && !s.certainlySevere && !s.unbounded) {
        t.bbeMost += s.erroredMost * quint64(n);
        t.bbeBlocksMost += s.blocksMost * quint64(n);
    }

    // Errored seconds: a bad frame makes one. Severely errored ones: a lost
    // frame does for certain, and errored frames may.
    t.esLeast += s.certainlyErrored && certainlyAvailable ? n : 0;
    t.esLeast += fewestHits(state.errored, s, s.mustErrBy, s.certainlyErrored, !certainlyAvailable);
    t.sesLeast += fewestHits(state.severe, s, s.mustLoseBy, s.certainlySevere, !certainlyAvailable);
    if (possiblyAvailable && (s.unknown || s.certainlyErrored))
        t.esMost += n;
    t.esMost += mostHits(state.errored, s, &Reach::badMost,
                         possiblyAvailable && s.possiblyErrored && !s.unknown && !s.certainlyErrored);
    // A second severe by its errored frames' share, or unknown, counts at the
    // most whatever the lost frames do.
    const bool severeByShare = s.certainlySevere || s.possiblySevereByShare;
    if (possiblyAvailable && s.possiblySevere && severeByShare)
        t.sesMost += n;
    t.sesMost += mostHits(state.severe, s, &Reach::lostMost, possiblyAvailable && s.possiblySevere && !severeByShare);

    SecondSpan span;
    span.first = s.second;
    span.seconds = n;
    span.least = classOf(possiblyAvailable, s.certainlySevere, s.certainlyErrored);
    span.most = classOf(certainlyAvailable, s.possiblySevere, s.possiblyErrored);
    span.unknown = s.unknown;
    if (!state.spans)
        return;
    std::vector<SecondSpan>& spans = *state.spans;
    if (!spans.empty() && spans.back().sameStanding(span) && spans.back().first + spans.back().seconds == span.first)
        spans.back().seconds += n;
    else
        spans.push_back(span);
}

qint64 ErrorPerformance::fewestHits(HitPass& pass, const Standing& s, qint64 mustHitBy, bool hitAnyway, bool free)
{
    // Every interval with such a frame for certain needs a second of the
    // kind among its own. A second that is of the kind anyway, or that may
    // not count (it may be unavailable), serves every interval that reaches
    // it; else the one that ends first takes its last second, which every
    // other one still waiting reaches too.
    pass.mustHitBy = std::min(pass.mustHitBy, mustHitBy);
    if (hitAnyway || free) {
        pass.mustHitBy = std::numeric_limits<qint64>::max();
        return 0;
    }
    if (pass.mustHitBy > s.second + s.seconds - 1)
        return 0;
    pass.mustHitBy = std::numeric_limits<qint64>::max();
    return 1;
}

qint64 ErrorPerformance::mostHits(HitPass& pass, const Standing& s, quint64 Reach::*frames, bool eligible)
{
    // Each interval makes at most as many seconds of the kind as it has
    // frames to make them, and gives them to the eligible seconds in order,
    // the intervals that end first first.
    for (const Reach& reach : s.reaches)
        if (reach.*frames > 0)
            pass.mayHit[reach.last] += reach.*frames;
    pass.mayHit.erase(pass.mayHit.begin(), pass.mayHit.lower_bound(s.second));
    if (!eligible)
        return 0;
    const qint64 lastSecond = s.second + s.seconds - 1;
    qint64 at = s.second;
    for (auto it = pass.mayHit.begin(); it != pass.mayHit.end() && at <= lastSecond;) {
        const qint64 reached = std::min(it->first, lastSecond) - at + 1;
        if (reached <= 0) {
            it = pass.mayHit.erase(it);
            continue;
        }
        const qint64 take = qint64(std::min(it->second, quint64(reached)));
        at += take;
        it->second -= quint64(take);
        it = it->second == 0 ? pass.mayHit.erase(it) : std::next(it);
    }
    return at - s.second;
}

void ErrorPerformance::finish(State& state, int severePercent)
{
    closeBefore(state, std::numeric_limits<qint64>::max(), severePercent);
    state.fewest.finish([&state](qint64 count, bool available) { decide(state, true, count, available); });
    state.most.finish([&state](qint64 count, bool available) { decide(state, false, count, available); });
    settle(state);
}

ErrorPerformance::State ErrorPerformance::finished(std::vector<SecondSpan>* spans) const
{
    State state = m_state;
    state.spans = spans;
    if (m_pending)
        spread(state, *m_pending);
    // Reports that stopped coming: the time since the last one is unknown,
    // unless it came within the longest interval seen.
    if (m_started && m_untilMs - m_lastMs > m_longestIntervalMs + m_timing.latencyMs)
        spread(state, silenceTo(m_untilMs));
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
    // Available seconds are errored or error-free, whatever the placement.
    f.efs = {double(std::max(t.efsLeast, t.availableLeast - t.esMost)),
             double(std::min(t.efsMost, t.availableMost - t.esLeast))};
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
