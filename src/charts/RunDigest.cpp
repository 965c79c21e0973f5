#include "charts/RunDigest.h"

#include "measurement/Rates.h"

RunDigest::RunDigest(const ReadRow& started, const measurement::RunSettings& recorded,
                     const measurement::RunSettings& analysed, int columns, double latestSeconds)
    : m_recorded(recorded)
    , m_analysis(analysed)
    , m_started(started)
    , m_last(started)
    , m_curves{ColumnReducer(columns, true), ColumnReducer(columns, true),  ColumnReducer(columns, true),
               ColumnReducer(columns, true), ColumnReducer(columns, false), ColumnReducer(columns, false)}
    , m_upperMeans(recorded.confidence)
{
    m_events.push_back(started);
    m_linkEvents.addEvent(started);
    if (latestSeconds > 0)
        for (int c = 0; c < CurveCount; ++c)
            m_latest.push_back(ColumnReducer::latest(columns, onLogAxis(Curve(c)), latestSeconds / columns));
}

void RunDigest::add(const ReadRow& row)
{
    // Reporting stopped from the row before that told of reports: the start, a report, the stop.
    const ReadRow& before = m_lastReport ? *m_lastReport : m_started;
    if (row.clockStep != 0) {
        // The analysis finds the step in the report's own time, as the recorder's did.
        m_gaps.push_back({before.time, std::max(0.0, double(before.time.msecsTo(row.time)) / 1000), row.clockStep});
    } else if (row.isReport() || row.is(RowEvent::Stopped)) {
        const double seconds = row.elapsed - before.elapsed;
        if (seconds > kLongGapSeconds)
            m_gaps.push_back({before.time, seconds});
    }
    m_last = row;
    const measurement::RunMoment at{row.time.toMSecsSinceEpoch(), qRound64(row.elapsed * 1000)};
    if (!row.isReport()) {
        if (m_events.size() < kKeptEventRows)
            m_events.push_back(row);
        ++m_eventRows;
        m_linkEvents.addEvent(row);
        m_analysis.runUntil(at);
        if (row.is(RowEvent::DeviceLost))
            m_analysis.deviceLost();
        else if (row.is(RowEvent::Stopped))
            m_analysis.setReachedDuration(row.detail.startsWith(QLatin1String(measurement::kDurationReached)));
        return;
    }
    m_lastReport = row;
    const measurement::TotalsStep step =
        m_analysis.add(at, {row.recvFrames, row.lossFrames, row.errorFrames, row.errorBits});
    m_linkEvents.addReport(row, m_analysis.lostFrames());
    // Counts that start again pass the same values again: each is worked out once.
    const auto [known, added] = m_upperMeanOf.try_emplace(row.errorBits, 0.0);
    if (added)
        known->second = m_upperMeans(row.errorBits);
    const double upperMean = known->second;
    const double bits = double(row.recvFrames * measurement::kBitsPerFrame);
    const double x = row.elapsed;
    const double values[CurveCount] = {row.ber,
                                       bits > 0 ? upperMean / bits : NAN,
                                       row.berLoss,
                                       row.runBerUpper,
                                       step.increment ? double(step.increment->errorFrame) : NAN,
                                       step.increment ? double(step.increment->lossFrame) : NAN};
    for (int c = 0; c < CurveCount; ++c) {
        m_curves[size_t(c)].add(x, values[c]);
        if (!m_latest.empty())
            m_latest[size_t(c)].add(x, values[c]);
    }
}

measurement::RunSettings withLimits(measurement::RunSettings recorded, const measurement::RunSettings& limits,
                                    bool override)
{
    const auto take = [override](auto& into, const auto& from) {
        if (from && (override || !into))
            into = from;
    };
    take(recorded.maxBer, limits.maxBer);
    take(recorded.maxLostFrames, limits.maxLostFrames);
    take(recorded.maxEs, limits.maxEs);
    take(recorded.maxSes, limits.maxSes);
    take(recorded.maxUnavailableSeconds, limits.maxUnavailableSeconds);
    return recorded;
}

RunDigests::RunDigests(const Choice& choice)
    : m_choice(choice)
{
}

QString RunDigests::read(const QString& path, QStringList& warnings)
{
    m_scan = readRecording(path, [this](const ReadRow& row, int run) { add(row, run); });
    warnings = m_scan.warnings;
    if (!m_scan.ok())
        return m_scan.error;
    if (m_choice.keep == Keep::One && m_choice.one > m_scan.runs)
        return QStringLiteral("--run %1: %2 holds %3 run(s)").arg(m_choice.one).arg(path).arg(m_scan.runs);
    return {};
}

void RunDigests::add(const ReadRow& row, int run)
{
    if (m_choice.keep == Keep::One && run != m_choice.one)
        return;
    if (row.is(RowEvent::Started)) {
        if (m_choice.keep == Keep::Last)
            m_runs.clear();
        const measurement::RunSettings recorded = measurement::settingsFromStartedDetail(row.detail);
        m_runs.push_back(std::make_unique<RunDigest>(row, recorded,
                                                     withLimits(recorded, m_choice.limits, m_choice.override),
                                                     m_choice.columns, m_choice.latestSeconds));
        m_lastNumber = run;
        return;
    }
    m_runs.back()->add(row);
}
