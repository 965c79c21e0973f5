#pragma once

#include "measurement/Availability.h"
#include "measurement/Rates.h"
#include "measurement/RunTotals.h"

#include <QString>

#include <deque>
#include <limits>
#include <map>
#include <optional>
#include <vector>

namespace measurement {

// The UTC second that holds `msSinceEpoch`, before 1970 too: the seconds that
// error performance counts, and that anything held against it must use.
constexpr qint64 utcSecondOf(qint64 msSinceEpoch)
{
    return msSinceEpoch >= 0 ? msSinceEpoch / 1000 : -((-msSinceEpoch + 999) / 1000);
}

// A figure the reports bound from both sides: whatever the unit's own count
// per second was, it lies between least and most. One number where they agree.
struct Bounded
{
    double least = 0;
    double most = 0;

    bool exact() const { return least == most; }
    // "3", "[3,5]", "N/A" for a ratio with nothing to divide by.
    QString text() const;
};

// The error performance of a run, with one test frame as one block: errored
// seconds (ES), severely errored seconds (SES), background block errors
// (BBE), unavailable and error-free seconds (EFS), and their ratios to the
// available time. ES, SES, BBE and EFS count available time only.
struct ErrorPerformanceFigures
{
    qint64 seconds = 0; // UTC seconds from the first report's on
    qint64 unknown = 0; // seconds no report can speak for
    Bounded available, unavailable, es, ses, bbe, efs;
    Bounded esr, sesr, bber;
};

// The figures by the names they go by in records: seconds, unknown_s,
// available_s, unavailable_s, es, ses, bbe, efs, esr, sesr, bber.
std::vector<std::pair<const char*, Bounded>> namedFigures(const ErrorPerformanceFigures& figures);

// How one second stood, at the least and at the most; ordered from best to worst.
enum class SecondClass : quint8 { ErrorFree, Errored, Severe, Unavailable };

// Seconds in a row that stood the same.
struct SecondSpan
{
    qint64 first = 0;   // Unix seconds
    qint64 seconds = 0; // how many
    SecondClass least = SecondClass::ErrorFree;
    SecondClass most = SecondClass::ErrorFree;
    bool unknown = false;

    bool sameStanding(const SecondSpan& other) const
    {
        return least == other.least && most == other.most && unknown == other.unknown;
    }
};

// How long before its arrival a report's counts may have been taken: at
// least its own time on the wire, at most that and what the host adds (a USB
// adapter holds bytes up to its latency timer, the scheduler adds its part).
struct LineTiming
{
    double wireMs = 0;    // 12 bytes of 10 bits at the line's baud rate
    qint64 latencyMs = 0; // at most this on top
};

// When a report arrived, or an event was written: UTC, and on the monotonic
// clock that times the run. `lateMs`: how late the reading of the report may
// have been on top of the line's latency (the program was busy when it came).
struct RunMoment
{
    qint64 utcMs = 0;
    qint64 elapsedMs = 0;
    qint64 lateMs = 0;
};

// Whether the wall clock stepped between two moments `elapsedMs` apart on the
// run's own clock: their difference, UTC less the run's clock, moved by more
// than the clocks' drift (0.1 %) and the rows' rounding (2 s) allow.
constexpr bool clockStepped(qint64 offsetBeforeMs, qint64 offsetNowMs, qint64 elapsedMs)
{
    const qint64 moved = offsetNowMs - offsetBeforeMs;
    return (moved < 0 ? -moved : moved) > 2000 + (elapsedMs < 0 ? -elapsedMs : elapsedMs) / 1000;
}

// Works the error performance out from the reports and their arrival times.
//
// A report holds running totals and no time of its own: between two reports
// the increments are known, but not where inside the interval the errors
// fell, nor exactly when the unit took them: some time within the line's
// latency window before the report arrived. The frames sent (received and
// lost) are taken as spread evenly between the two moments the counts were
// taken, in whole frames, with one frame of slack; its errored and lost
// frames may lie anywhere among them. So each second is certainly or possibly
// errored, severely errored, unavailable, and every figure is the least and
// the most that any placement allows. Seconds of an interval across a lost
// device, a restart of the unit's counts, more frames than 16-bit counts
// carry unseen, a silence (a gap longer than the longest interval before it
// and the latency) or a step of the clock are unknown: never error-free, and
// at the most errored, severely errored and unavailable.
//
// The work per report is bounded by the length of its latency window, not by
// the length of its interval: the seconds inside an interval, which all stand
// alike, go through as one stretch.
class ErrorPerformance
{
public:
    // Errored blocks of at least this share of a second's blocks make it severely errored.
    static constexpr int kSeverePercent = 30;

    // `severePercent` other than 30 only to see that a wrong threshold is caught.
    explicit ErrorPerformance(CounterModel model, LineTiming timing = {}, int severePercent = kSeverePercent);

    // The next report and what it added to the run totals. Reports that
    // arrive together count as one.
    void add(const RunMoment& at, const ReportCounts& counts, const TotalsStep& step);
    // A report on a clock that never steps, on time.
    void add(qint64 msSinceEpoch, const ReportCounts& counts, const TotalsStep& step)
    {
        add({msSinceEpoch, msSinceEpoch, 0}, counts, step);
    }
    // The device went away: nothing is known of the time until the next report.
    void deviceLost();
    // The run was still going at `at` (a row was written then): a silence
    // from the last report until then counts, as unknown seconds.
    void runUntil(const RunMoment& at);

    // The figures as if the run ended at the last moment known to it.
    ErrorPerformanceFigures figures() const;
    // Every second so far, as for figures(), in runs of the same standing.
    std::vector<SecondSpan> spans() const;
    // The longest time without a report so far, to the last moment known, in ms.
    qint64 longestSilenceMs() const;
    // The longest interval between reports that was no silence, in ms; 0 before one.
    qint64 longestIntervalMs() const { return m_longestIntervalMs; }
    // Whether the time from the last report to `elapsedMs` on the run's clock
    // is a silence; never before the first interval.
    bool silentAt(qint64 elapsedMs) const;

private:
    // Frames of one interval, sent, errored and lost, each between two bounds,
    // between count moments that lie within [aLo, aHi] and [bLo, bHi].
    struct Interval
    {
        qint64 aLo = 0, aHi = 0, bLo = 0, bHi = 0;
        quint64 sentLeast = 0, sentMost = 0;
        quint64 erroredLeast = 0, erroredMost = 0;
        quint64 lostLeast = 0, lostMost = 0;
        bool unknown = false;
        bool unbounded = false;
    };
    // An interval whose frames may lie in seconds up to `last`, registered at its first second.
    struct Reach
    {
        qint64 last = 0;
        quint64 badMost = 0;  // errored and lost frames, at the most
        quint64 lostMost = 0; // lost frames, at the most
    };
    // The parts of `seconds` seconds from `second` on, alike, that intervals have added.
    struct SecondCounts
    {
        qint64 second = 0;
        qint64 seconds = 1;
        bool unknown = false;
        bool unbounded = false; // nothing bounds its frames from above
        quint64 blocksLeast = 0, blocksMost = 0;
        quint64 erroredLeast = 0, erroredMost = 0;
        quint64 lostLeast = 0, lostMost = 0;
        // Intervals that begin here: the earliest last second of those with a
        // bad (errored or lost) and with a lost frame for certain, and every
        // one that may hold one.
        qint64 mustErrBy = std::numeric_limits<qint64>::max();
        qint64 mustLoseBy = std::numeric_limits<qint64>::max();
        std::vector<Reach> reaches;
    };
    // Seconds alike, decided as far as their counts go, waiting for their availability.
    struct Standing
    {
        qint64 second = 0;
        qint64 seconds = 1;
        bool certainlyErrored = false, possiblyErrored = false;
        bool certainlySevere = false, possiblySevere = false;
        bool possiblySevereByShare = false; // by its errored blocks' share, or unknown
        bool unknown = false, unbounded = false;
        quint64 erroredLeast = 0, erroredMost = 0;
        quint64 blocksLeast = 0, blocksMost = 0;
        qint64 mustErrBy = std::numeric_limits<qint64>::max();
        qint64 mustLoseBy = std::numeric_limits<qint64>::max();
        std::vector<Reach> reaches;
        int availableAtLeast = -1; // under the fewest severe seconds; -1 while not known
        int availableAtMost = -1;  // under the most
    };
    struct Totals
    {
        qint64 seconds = 0, unknown = 0;
        qint64 availableLeast = 0, availableMost = 0;
        qint64 esLeast = 0, esMost = 0, sesLeast = 0, sesMost = 0, efsLeast = 0, efsMost = 0;
        quint64 bbeLeast = 0, bbeMost = 0;
        quint64 bbeBlocksLeast = 0, bbeBlocksMost = 0; // blocks of available seconds that are not severe
    };
    // A pass along the seconds that finds the fewest and the most seconds of
    // a kind (errored, severely errored) that any placement of the frames
    // that make it allows: the earliest last second of the intervals that
    // must still put such a frame somewhere, and what the intervals that may
    // put one have left, by their last second.
    struct HitPass
    {
        qint64 mustHitBy = std::numeric_limits<qint64>::max();
        std::map<qint64, quint64> mayHit;
    };
    // What is decided so far, and what waits: copied whole to finish a run early.
    struct State
    {
        std::deque<SecondCounts> open; // seconds that intervals may still add to
        std::deque<Standing> waiting;  // seconds waiting for their availability
        AvailabilityTracker fewest;    // fed certainly severe seconds
        AvailabilityTracker most;      // fed possibly severe seconds
        Totals totals;
        HitPass errored, severe;
        std::vector<SecondSpan>* spans = nullptr; // where decided seconds go, if anywhere
        // Entries at the front of `waiting` that each tracker has decided whole.
        size_t decidedFewest = 0;
        size_t decidedMost = 0;
    };

    static void spread(State& state, const Interval& interval);
    static SecondCounts& secondAt(State& state, qint64 second);
    static void closeBefore(State& state, qint64 second, int severePercent);
    static void close(State& state, const SecondCounts& counts, int severePercent);
    static void decide(State& state, bool byFewest, qint64 count, bool available);
    static void settle(State& state);
    static void count(State& state, const Standing& standing);
    static qint64 fewestHits(HitPass& pass, const Standing& s, qint64 mustHitBy, bool hitAnyway, bool free);
    static qint64 mostHits(HitPass& pass, const Standing& s, quint64 Reach::*frames, bool eligible);
    static void finish(State& state, int severePercent);
    State finished(std::vector<SecondSpan>* spans) const;
    Interval intervalTo(qint64 at, qint64 lateMs, const ReportCounts& counts, const TotalsStep& step) const;
    Interval silenceTo(qint64 at) const;
    qint64 internalMs(const RunMoment& at) const { return at.elapsedMs + m_offsetMs; }
    qint64 windowLo(qint64 at, qint64 lateMs) const;
    qint64 windowHi(qint64 at) const;

    CounterModel m_model;
    LineTiming m_timing;
    int m_severePercent;
    State m_state;
    std::vector<SecondSpan> m_spans;
    bool m_started = false;
    bool m_gap = false;                // the device was lost since the last report
    std::optional<Interval> m_pending; // the last interval, which a report arriving with it may still join
    ReportCounts m_last;               // the counts of the last report
    // The run's time: the monotonic clock, set to UTC by the offset at the
    // first report, and again after a step of the clock that takes it ahead.
    qint64 m_offsetMs = 0;
    qint64 m_lastUtcOffsetMs = 0; // UTC less the monotonic clock at the last report
    qint64 m_lastMs = 0;     // the last report's arrival, on the run's time
    qint64 m_lastLateMs = 0; // and how late its reading was
    qint64 m_untilMs = 0;    // the last moment the run is known to have lasted to
    qint64 m_longestIntervalMs = 0;
    qint64 m_longestSilenceMs = 0; // between reports
    // Frames sent and time over the intervals known so far, for the rate that
    // tells whether 16-bit counts could have passed a whole period unseen.
    quint64 m_knownFrames = 0;
    qint64 m_knownMs = 0;
};

} // namespace measurement
