#pragma once

#include "charts/ColumnReducer.h"
#include "charts/LinkEvents.h"
#include "recording/RecordingReader.h"

#include "measurement/ConfidenceBound.h"
#include "measurement/RunAnalysis.h"

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <vector>

// What is kept of one run of a recording, read as a stream: its analysis,
// the curves the charts draw, reduced to the columns they can show, and its
// events. The curves' x is the row's elapsed time, which never goes back.
class RunDigest
{
public:
    // The running ratios, and what each report interval added: its errored
    // and its lost frames (NaN where a restart of the counts hides them).
    enum Curve { Ber, BerBound, BerLoss, RunBound, ErroredFrames, LostFrames, CurveCount };
    static constexpr bool onLogAxis(Curve c) { return c != ErroredFrames && c != LostFrames; }

    // `recorded` as the started row gives them; the analysis runs against
    // `analysed`, which may stand in limits of its own.
    // `latestSeconds` above 0 keeps the curves' latest stretch of that length
    // too, at the resolution of `columns` over it, for a view of the last minutes.
    RunDigest(const ReadRow& started, const measurement::RunSettings& recorded,
              const measurement::RunSettings& analysed, int columns, double latestSeconds = 0);

    void add(const ReadRow& row);

    const measurement::RunSettings& recorded() const { return m_recorded; }
    const measurement::RunAnalysis& analysis() const { return m_analysis; }
    const ReadRow& started() const { return m_started; }
    // The run's last row, and its last report when it has one.
    const ReadRow& last() const { return m_last; }
    const std::optional<ReadRow>& lastReport() const { return m_lastReport; }
    qint64 reports() const { return m_analysis.reports(); }
    const ColumnReducer& curve(Curve c) const { return m_curves[c]; }
    // The curve's latest stretch at its finer resolution, when one is kept.
    const ColumnReducer* latest(Curve c) const { return m_latest.empty() ? nullptr : &m_latest[size_t(c)]; }
    // The first kKeptEventRows rows that are no report, the started row first,
    // and how many there are in all: a run that restarts its counts every
    // second keeps no more of them than one that never does.
    static constexpr size_t kKeptEventRows = 1000;
    const std::vector<ReadRow>& events() const { return m_events; }
    qint64 eventRows() const { return m_eventRows; }
    // What happened in the run so far: the link's events and the recorder's, folded.
    std::vector<LinkEvent> linkEvents() const { return m_linkEvents.events(m_analysis.performance(), m_last); }
    const LinkEventLog& linkEventLog() const { return m_linkEvents; }

    // A time without reports: from the report before, `seconds` long. Or,
    // with `clockStep`, a clock set by that many seconds (or a host that
    // slept): the time across it, by the clock, is no report's.
    struct Gap
    {
        QDateTime from;
        double seconds = 0;
        double clockStep = 0;
    };
    // Gaps between reports longer than kLongGapSeconds, and clock steps.
    static constexpr double kLongGapSeconds = 10;
    const std::vector<Gap>& gaps() const { return m_gaps; }

private:
    measurement::RunSettings m_recorded;
    measurement::RunAnalysis m_analysis;
    ReadRow m_started;
    ReadRow m_last;
    std::optional<ReadRow> m_lastReport;
    std::array<ColumnReducer, CurveCount> m_curves;
    std::vector<ColumnReducer> m_latest;
    std::vector<ReadRow> m_events;
    qint64 m_eventRows = 1;
    LinkEventLog m_linkEvents;
    std::vector<Gap> m_gaps;
    measurement::PoissonUpperMeans m_upperMeans; // for the reports' own error counts
    std::map<quint64, double> m_upperMeanOf;     // by error count: the bound's costly part
};

// The runs of a recording that a reader keeps, digested as they are read.
class RunDigests
{
public:
    enum class Keep { Every, Last, One };
    // `one`: the run to keep, from 1, with Keep::One. `limits` stand in for
    // the recorded settings' own (`override`) or fill the ones they lack.
    struct Choice
    {
        Keep keep = Keep::Every;
        int one = 0;
        int columns = 1200;
        double latestSeconds = 0; // see RunDigest
        measurement::RunSettings limits;
        bool override = false;
    };
    explicit RunDigests(const Choice& choice);

    void add(const ReadRow& row, int run);
    // Reads the recording at `path` into these digests, its warnings into
    // `warnings`. Returns the error that names the file and the line at fault,
    // or the run asked for that the file does not hold; nothing when all is
    // well. scan() tells the rest of how the reading went.
    QString read(const QString& path, QStringList& warnings);
    const RecordingScan& scan() const { return m_scan; }

    const std::vector<std::unique_ptr<RunDigest>>& runs() const { return m_runs; }
    // The number of the last run kept, from 1.
    int lastNumber() const { return m_lastNumber; }

private:
    Choice m_choice;
    RecordingScan m_scan;
    std::vector<std::unique_ptr<RunDigest>> m_runs;
    int m_lastNumber = 0;
};

// The settings a run is analysed against: the recorded ones with each limit
// of `limits` in place of the recorded one (`override`) or where it is missing.
measurement::RunSettings withLimits(measurement::RunSettings recorded, const measurement::RunSettings& limits,
                                    bool override);
