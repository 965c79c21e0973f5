#pragma once

#include "measurement/Availability.h"
#include "measurement/Rates.h"
#include "measurement/RunTotals.h"

#include <QString>

#include <deque>
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

// Works the error performance out from the reports and their arrival times.
//
// A report holds running totals and no time of its own: between two reports
// the increments are known, but not where inside the interval the errors
// fell. The frames sent (received and lost) are taken as spread evenly over
// the interval, in whole frames; its errored and lost frames may lie anywhere
// among them. So each second is certainly or possibly errored, severely
// errored, unavailable, and every figure is the least and the most that any
// placement gives. Seconds of an interval across a lost device, a restart of
// the unit's counts, or more frames than 16-bit counts carry unseen are
// unknown: never error-free, and at the most errored, severely errored and
// unavailable.
class ErrorPerformance
{
public:
    // Errored blocks of at least this share of a second's blocks make it severely errored.
    static constexpr int kSeverePercent = 30;

    // `severePercent` other than 30 only to see that a wrong threshold is caught.
    explicit ErrorPerformance(CounterModel model, int severePercent = kSeverePercent);

    // The next report, arrived at `msSinceEpoch`, and what it added to the run
    // totals. Reports that arrive together count as one.
    void add(qint64 msSinceEpoch, const ReportCounts& counts, const TotalsStep& step);
    // The device went away: nothing is known of the time until the next report.
    void deviceLost();

    // The figures as if the run ended with the last report.
    ErrorPerformanceFigures figures() const;
    // Every second so far, as for figures(), in runs of the same standing.
    std::vector<SecondSpan> spans() const;

    // The parts of one second that intervals have added, and what they bound.
    struct SecondCounts
    {
        qint64 second = 0;
        bool unknown = false;
        bool unbounded = false; // nothing bounds its frames from above
        quint64 blocksLeast = 0, blocksMost = 0;
        quint64 erroredLeast = 0, erroredMost = 0;
        quint64 lostLeast = 0, lostMost = 0;
    };

private:
    // Frames of one interval: sent, errored and lost, each between two bounds.
    struct Interval
    {
        qint64 startMs = 0, endMs = 0;
        quint64 sentLeast = 0, sentMost = 0;
        quint64 erroredLeast = 0, erroredMost = 0;
        quint64 lostLeast = 0, lostMost = 0;
        bool unknown = false;
        bool unbounded = false;
    };
    // A second, decided as far as its counts go, waiting for its availability.
    struct Standing
    {
        qint64 second = 0;
        bool certainlyErrored = false, possiblyErrored = false;
        bool certainlySevere = false, possiblySevere = false;
        bool unknown = false, unbounded = false;
        quint64 erroredLeast = 0, erroredMost = 0;
        quint64 blocksLeast = 0, blocksMost = 0;
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
    // What is decided so far, and what waits: copied whole to finish a run early.
    struct State
    {
        std::deque<SecondCounts> open; // seconds that intervals may still add to
        std::deque<Standing> waiting;  // seconds waiting for their availability
        AvailabilityTracker fewest;    // fed certainly severe seconds
        AvailabilityTracker most;      // fed possibly severe seconds
        Totals totals;
        std::vector<SecondSpan>* spans = nullptr; // where decided seconds go, if anywhere
        int decidedFewest = 0;                    // waiting seconds at the front each tracker has decided
        int decidedMost = 0;
    };

    static void spread(State& state, const Interval& interval);
    static void closeBefore(State& state, qint64 second, int severePercent);
    static void close(State& state, const SecondCounts& counts, int severePercent);
    static void settle(State& state);
    static void count(State& state, const Standing& standing);
    static void finish(State& state, int severePercent);
    State finished(std::vector<SecondSpan>* spans) const;
    Interval intervalTo(qint64 msSinceEpoch, const ReportCounts& counts, const TotalsStep& step) const;

    CounterModel m_model;
    int m_severePercent;
    State m_state;
    std::vector<SecondSpan> m_spans;
    bool m_started = false;
    bool m_gap = false;                // the device was lost since the last report
    std::optional<Interval> m_pending; // the last interval, which a report arriving with it may still join
    ReportCounts m_last;               // the counts of the last report
    qint64 m_lastMs = 0;
    // Frames sent and time over the intervals known so far, for the rate that
    // tells whether 16-bit counts could have passed a whole period unseen.
    quint64 m_knownFrames = 0;
    qint64 m_knownMs = 0;
};

} // namespace measurement
