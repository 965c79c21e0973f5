#pragma once

#include "emulator/EmulatorSettings.h"
#include "emulator/LinkConditions.h"
#include "emulator/LinkModel.h"

#include <QByteArray>
#include <QtGlobal>

#include <vector>

namespace emulator {

// What the link did in one UTC second of a run: the truth that error-performance figures drawn
// from the reports are held against.
struct SecondTruth
{
    qint64 second = 0;         // Unix seconds, UTC
    quint64 blocks = 0;        // frames sent: received and lost
    quint64 erroredBlocks = 0; // received frames with at least one bit error
    quint64 lostFrames = 0;

    friend bool operator==(const SecondTruth&, const SecondTruth&) = default;
};

// A link test along UTC time, with the truth of each second. The link runs in steps cut at every
// UTC second (in whole milliseconds), each under its second's condition; so a run taken to a second
// on the way does the same as one that is not. Second 0 of the condition plan is the UTC second the
// run starts in. The same settings, start and moments asked for give the same run.
class LinkRun
{
public:
    // `startMs`: Unix milliseconds, UTC, when the link test starts.
    LinkRun(const EmulatorSettings& settings, qint64 startMs);

    // Runs the link up to `utcMs` (never backwards: an earlier moment changes nothing) and returns
    // the counts a report sent then carries.
    LinkCounts advanceTo(qint64 utcMs);

    // One a UTC second, without gaps, from the second the run started in (or the first not taken by
    // takeCompleteTruth()) to the one it has got to, which may be partial. A second joins once the
    // run has spent time in it; the first is there from the start.
    const std::vector<SecondTruth>& truth() const { return m_truth; }
    // The seconds of truth() that have ended, taken out of it; truth() keeps the one under way.
    std::vector<SecondTruth> takeCompleteTruth();

    const LinkTotals& totals() const { return m_link.totals(); }
    LinkCounts counts() const { return m_link.counts(); }
    const LinkModel& link() const { return m_link; }
    qint64 startMs() const { return m_startMs; }
    qint64 nowMs() const { return m_nowMs; } // how far the link has run

private:
    LinkModel m_link;
    LinkConditions m_conditions;
    qint64 m_startMs;
    qint64 m_startSecond;
    qint64 m_nowMs;
    std::vector<SecondTruth> m_truth;
    LinkTotals m_secondStart; // the totals when the last second of m_truth began
};

// The truth as CSV: "time,blocks,errored_blocks,lost_frames", the time as 2026-12-08T23:18:09Z.
QByteArray truthCsvHeader();
QByteArray truthCsvLine(const SecondTruth& second);

} // namespace emulator
