#pragma once

#include "measurement/ErrorPerformance.h"
#include "recording/RecordingReader.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

// One thing that happened in a run, as a reader of its recording tells it:
// the link's own events, found in the reports and in the per-second analysis
// that gives the figures, and the recorder's, with the routine ones folded
// into one line each so that thousands of restarts stay one line.
struct LinkEvent
{
    enum class Kind {
        SyncLoss,       // reports that counted lost frames, one after another
        Unavailable,    // unavailable time, certain or possible
        ErroredSeconds, // errored or severely errored seconds, one after another
        NoReports,      // seconds no report speaks for: a silence, a lost device
                        // (those across a restart of the counts go with Restarts)
        DeviceLost,     // from `device lost` to `device back` (or the end)
        Restarts,       // every `counts went down` row of the run, folded
        Unframed,       // every `unframed` row of the run, folded
        Recorder,       // any other row the recorder wrote: started, stopped, settings, ...
    };

    Kind kind = Kind::Recorder;
    // When it began and ended, in UTC and in the run's elapsed seconds; a
    // moment where they are equal. Folded rows: the first and the last.
    QDateTime from, to;
    double fromElapsed = 0, toElapsed = 0;
    bool open = false;        // still going at the run's last row
    bool provisional = false; // seconds the availability of the next ten may still revise
    qint64 count = 1;         // rows folded; frames lost for SyncLoss
    qint64 losses = 1;        // SyncLoss: the losses it stands for, more than one where they crowded
    // For the seconds' kinds: how many seconds, and of those how many severely
    // errored. Restarts: the seconds they left unknown.
    measurement::Bounded seconds, severe;
    qint64 bytes = 0;       // Unframed: the bytes of every row
    QString event, detail;  // Recorder and DeviceLost: the row's event and detail

    // "sync loss", "unavailable", "errored seconds", "unknown seconds", "device lost",
    // "counts went down", "unframed", or the row's own event.
    QString what() const;
    // How much, in a few words: "12000 frames lost", "70 frames lost in 10 losses",
    // "[12,14] s", "3 s, 1 SES",
    // "14 times: new test periods; 14 s unknown across them", "3 rows, 17 bytes";
    // the detail for the recorder's.
    QString amount() const;
};

// Gathers a run's events as its rows are read, keeping little per row: the
// seconds' events are found from the analysis when they are asked for.
class LinkEventLog
{
public:
    // A report, with the run's lost frames counted to it (restarts of the
    // unit's counts included, where the report's own counts go down).
    void addReport(const ReadRow& report, quint64 runLostFrames);
    // A row that is no report.
    void addEvent(const ReadRow& row);

    // Every event to the run's last row `last`, ordered by when it began,
    // with the seconds' events from `performance` (the run's analysis).
    std::vector<LinkEvent> events(const measurement::ErrorPerformance& performance, const ReadRow& last) const;

    // The elapsed seconds of every `counts went down` row, for marks on a time axis.
    const std::vector<double>& restarts() const { return m_restarts; }

    // Moments closer than `within` to the one before fold into one stretch:
    // [first, last] of each, for marks that would crowd.
    static std::vector<std::pair<double, double>> fold(const std::vector<double>& moments, double within);

private:
    // The events of the seconds' standings, but for the seconds that restarts
    // of the counts left unknown, which go to `unknownAcrossRestarts`.
    std::vector<LinkEvent> secondsEvents(const measurement::ErrorPerformance& performance, const ReadRow& last,
                                         measurement::Bounded& unknownAcrossRestarts) const;
    // The run's elapsed seconds at UTC `ms`, by the last report at or before it.
    double elapsedAt(qint64 ms) const;

    void keepSyncLoss(const LinkEvent& loss);

    std::vector<LinkEvent> m_rows;       // DeviceLost and Recorder
    std::vector<LinkEvent> m_syncLosses; // closed; at most kMostSyncLosses
    // Losses closer than this to the one before join it, doubled whenever
    // they grow past kMostSyncLosses: a line that loses a frame now and then
    // all day stays a few thousand stretches.
    static constexpr size_t kMostSyncLosses = 2000;
    double m_joinSeconds = 0;
    std::optional<LinkEvent> m_syncLoss; // open
    std::optional<LinkEvent> m_restartsFolded, m_unframedFolded;
    std::vector<double> m_restarts;
    std::optional<ReadRow> m_lastReport;
    quint64 m_lostFrames = 0;
    // UTC less elapsed, in ms, from each report on where it changed (a clock step).
    std::vector<std::pair<qint64, qint64>> m_offsets;
};
