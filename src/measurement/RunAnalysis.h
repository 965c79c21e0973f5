#pragma once

#include "measurement/ConfidenceBound.h"
#include "measurement/ErrorClusters.h"
#include "measurement/ErrorPerformance.h"
#include "measurement/RunSettings.h"
#include "measurement/RunTotals.h"

#include <QString>

#include <vector>

namespace measurement {

// The analysis of one recorded run, fed its reports in order with the time
// each arrived. The recorder feeds it as reports come, and anyone reading
// the recording feeds it the same rows, so both give the same totals,
// bounds and verdict.
class RunAnalysis
{
public:
    explicit RunAnalysis(const RunSettings& settings);

    // Takes the next report, arrived at `at`.
    TotalsStep add(const RunMoment& at, const ReportCounts& counts);
    // One that arrived at `msSinceEpoch` (UTC), on a clock that never steps.
    TotalsStep add(qint64 msSinceEpoch, const ReportCounts& counts)
    {
        return add({msSinceEpoch, msSinceEpoch}, counts);
    }
    // The device went away; the time until the next report is unknown.
    void deviceLost() { m_performance.deviceLost(); }
    // The run was still going at `at`: a row other than a report was written
    // then. A silence since the last report counts up to there.
    void runUntil(const RunMoment& at) { m_performance.runUntil(at); }
    // The run lasted its whole duration: the condition for a pass on error performance.
    void setReachedDuration(bool reached) { m_reachedDuration = reached; }
    bool reachedDuration() const { return m_reachedDuration; }

    const RunSettings& settings() const { return m_settings; }
    qint64 reports() const { return m_reports; }
    ReportCounts totals() const { return m_totals.totals(); }
    quint64 bits() const { return m_totals.bits(); }
    quint64 bitErrors() const { return m_totals.bitErrors(); }
    quint64 lostFrames() const { return totals().lossFrame; }
    quint64 lostBeforeFirstReport() const { return m_totals.lostBeforeFirstReport(); }

    // The exact Poisson bounds on the run's BER without sync loss; not
    // finite before a bit is counted.
    double berUpper() const;
    double berLower() const;
    ClusterTest clusters() const;
    const ErrorPerformance& performance() const { return m_performance; }
    // Bits counted a second since the first report; NaN until reports span some time.
    double bitRate() const;
    // Seconds since the first report; 0 before it.
    double reportedSeconds() const;

private:
    RunSettings m_settings;
    RunTotals m_totals;
    IntervalLog m_intervals;
    ErrorPerformance m_performance;
    bool m_reachedDuration = false;
    qint64 m_reports = 0;
    qint64 m_firstMs = 0;
    qint64 m_lastMs = 0;
    quint64 m_bitsAtFirst = 0;
    // The upper mean depends on the error count alone; the bits only scale it.
    mutable PoissonUpperMeans m_upperMeans; // the bound's costly part, for the run's errors
};

enum class Outcome { NoVerdict, Pass, Fail, NotDecided };

struct Verdict
{
    Outcome outcome = Outcome::NoVerdict;
    // The verdict line: "pass: ...", "fail: ...", "not decided: ...", with
    // its figures; empty when no limit was asked for.
    QString line;
    // The verdict line without its figures, for a title.
    QString head;
    // The figures the line gives in parentheses after its head.
    QString evidence;
    // What a decision needs, short, for a status line: "pass so far",
    // "2.1e+07 bits to a pass (0:03:20)", "fail: more bits cannot help".
    QString need;
    // The figures as key=value pairs, for the `stopped` row.
    QString figures;
};

// One limit the verdict goes by, beside what the run measured against it.
struct Criterion
{
    QString name;     // "BER at 95 % confidence", "Lost frames", "Errored seconds (ES)", ...
    QString limit;    // "at most 1e-05"
    QString measured; // one figure, or the least and the most: "[3,5]"
    Outcome outcome = Outcome::NotDecided;
    QString reason; // a few words where the outcome is not plain from the figures
};

// The criteria in force, each decided as decide() decides the run: a run
// fails when one fails and passes when all pass. `runSeconds`: how long the
// run has lasted, from its start.
std::vector<Criterion> criteria(const RunAnalysis& run, double runSeconds);

// The verdict's word: "PASS", "FAIL", "NOT DECIDED"; empty for no verdict.
QString outcomeWord(Outcome outcome);

// What decide() says a decision needs while error performance is within its
// limits and the run has not lasted its --duration.
inline constexpr char kPerformanceWithinSoFar[] = "error performance within the limits so far";

// A run's length in whole seconds, "0:01:00": the nearest second, the one
// rounding every text of a duration uses.
QString durationText(double seconds);

// When a report's counts may have been taken, for the run's line settings.
LineTiming lineTiming(const RunSettings& settings);

// The verdict on the run as it stands, against its settings' limits.
Verdict decide(const RunAnalysis& run);

// The mean bit errors of a frame that has any, for independent errors at `ber`.
double bitsPerErrorFrameIfIndependent(double ber);

// The error-performance figures as key=value pairs, each a number or "[least,most]".
QString performancePairs(const ErrorPerformanceFigures& figures);

// "2:03:04", or "3d 2:03:04" for long runs.
QString clockText(qint64 ms);

// Three significant digits for texts people read: "2.52e-06", "3.04e+08".
QString figureText(double value);

} // namespace measurement
