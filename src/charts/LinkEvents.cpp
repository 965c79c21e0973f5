#include "charts/LinkEvents.h"

#include "measurement/Availability.h"
#include "recording/RowEvents.h"

#include <algorithm>

namespace {

using measurement::SecondClass;

QDateTime utcAt(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

QString plural(qint64 n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// The kind of event a stretch of seconds belongs to, if any.
std::optional<LinkEvent::Kind> kindOf(const measurement::SecondSpan& span)
{
    if (span.unknown)
        return LinkEvent::Kind::NoReports;
    if (span.most == SecondClass::Unavailable)
        return LinkEvent::Kind::Unavailable;
    if (span.most != SecondClass::ErrorFree)
        return LinkEvent::Kind::ErroredSeconds;
    return std::nullopt;
}

// The leading count of an `unframed` row's detail: "17 bytes since ...".
qint64 unframedBytes(const QString& detail)
{
    return detail.section(QLatin1Char(' '), 0, 0).toLongLong();
}

} // namespace

QString LinkEvent::what() const
{
    switch (kind) {
    case Kind::SyncLoss:
        return QStringLiteral("sync loss");
    case Kind::Unavailable:
        return QStringLiteral("unavailable");
    case Kind::ErroredSeconds:
        return severe.most > 0 ? QStringLiteral("errored seconds, severe") : QStringLiteral("errored seconds");
    case Kind::NoReports:
        return QStringLiteral("unknown seconds");
    case Kind::DeviceLost:
        return eventName(RowEvent::DeviceLost);
    case Kind::Restarts:
        return eventName(RowEvent::CountsWentDown);
    case Kind::Unframed:
        return eventName(RowEvent::Unframed);
    case Kind::Recorder:
        break;
    }
    return event;
}

QString LinkEvent::amount() const
{
    const QString length = QStringLiteral("%1 s").arg(seconds.text());
    switch (kind) {
    case Kind::SyncLoss:
        return losses > 1 ? QStringLiteral("%1 in %2 losses").arg(plural(count, "frame lost", "frames lost")).arg(losses)
                          : plural(count, "frame lost", "frames lost");
    case Kind::Unavailable:
    case Kind::NoReports:
        return length;
    case Kind::ErroredSeconds:
        return severe.most > 0 ? QStringLiteral("%1, %2 SES").arg(length, severe.text()) : length;
    case Kind::DeviceLost:
        return open ? detail : QStringLiteral("back after %1 s; %2").arg(toElapsed - fromElapsed, 0, 'f', 1).arg(detail);
    case Kind::Restarts: {
        const QString times = detail.contains(QLatin1String("a new test period"))
                                  ? QStringLiteral("%1: new test periods").arg(plural(count, "time", "times"))
                                  : QStringLiteral("%1, the first: %2").arg(plural(count, "time", "times"), detail);
        return seconds.most > 0 ? QStringLiteral("%1; %2 unknown across them").arg(times, length) : times;
    }
    case Kind::Unframed:
        return QStringLiteral("%1, %2").arg(plural(count, "row", "rows"), plural(bytes, "byte", "bytes"));
    case Kind::Recorder:
        break;
    }
    return detail;
}

void LinkEventLog::addReport(const ReadRow& report, quint64 runLostFrames)
{
    const qint64 ms = report.time.toMSecsSinceEpoch();
    const qint64 offset = ms - qRound64(report.elapsed * 1000);
    if (m_offsets.empty() || report.clockStep != 0)
        m_offsets.emplace_back(ms, offset);

    // Frames lost between the report before and this one: a loss of sync
    // that lasts while the reports go on counting lost frames.
    const quint64 lost = runLostFrames - std::min(m_lostFrames, runLostFrames);
    m_lostFrames = runLostFrames;
    if (lost > 0) {
        if (!m_syncLoss) {
            const ReadRow& before = m_lastReport ? *m_lastReport : report;
            LinkEvent loss;
            loss.kind = LinkEvent::Kind::SyncLoss;
            loss.from = before.time;
            loss.fromElapsed = before.elapsed;
            loss.count = 0;
            m_syncLoss = loss;
        }
        m_syncLoss->count += qint64(lost);
        m_syncLoss->to = report.time;
        m_syncLoss->toElapsed = report.elapsed;
    } else if (m_syncLoss) {
        keepSyncLoss(*m_syncLoss);
        m_syncLoss.reset();
    }
    m_lastReport = report;
}

void LinkEventLog::keepSyncLoss(const LinkEvent& loss)
{
    const auto join = [](LinkEvent& into, const LinkEvent& next) {
        into.to = next.to;
        into.toElapsed = next.toElapsed;
        into.count += next.count;
        into.losses += next.losses;
    };
    if (!m_syncLosses.empty() && loss.fromElapsed - m_syncLosses.back().toElapsed <= m_joinSeconds) {
        join(m_syncLosses.back(), loss);
        return;
    }
    m_syncLosses.push_back(loss);
    while (m_syncLosses.size() > kMostSyncLosses) {
        m_joinSeconds = std::max(1.0, m_joinSeconds * 2);
        std::vector<LinkEvent> joined;
        for (const LinkEvent& e : m_syncLosses) {
            if (!joined.empty() && e.fromElapsed - joined.back().toElapsed <= m_joinSeconds)
                join(joined.back(), e);
            else
                joined.push_back(e);
        }
        m_syncLosses.swap(joined);
    }
}

void LinkEventLog::addEvent(const ReadRow& row)
{
    const auto fold = [&row](std::optional<LinkEvent>& folded, LinkEvent::Kind kind) -> LinkEvent& {
        if (!folded) {
            folded = LinkEvent{};
            folded->kind = kind;
            folded->from = row.time;
            folded->fromElapsed = row.elapsed;
            folded->detail = row.detail;
            folded->count = 0;
        }
        ++folded->count;
        folded->to = row.time;
        folded->toElapsed = row.elapsed;
        return *folded;
    };
    if (row.is(RowEvent::CountsWentDown)) {
        fold(m_restartsFolded, LinkEvent::Kind::Restarts);
        m_restarts.push_back(row.elapsed);
        return;
    }
    if (row.is(RowEvent::Unframed)) {
        fold(m_unframedFolded, LinkEvent::Kind::Unframed).bytes += unframedBytes(row.detail);
        return;
    }
    if (row.is(RowEvent::DeviceBack)) {
        const auto lost = std::find_if(m_rows.rbegin(), m_rows.rend(),
                                       [](const LinkEvent& e) { return e.kind == LinkEvent::Kind::DeviceLost; });
        if (lost != m_rows.rend() && lost->open) {
            lost->open = false;
            lost->to = row.time;
            lost->toElapsed = row.elapsed;
            return;
        }
    }
    LinkEvent event;
    event.kind = row.is(RowEvent::DeviceLost) ? LinkEvent::Kind::DeviceLost : LinkEvent::Kind::Recorder;
    event.open = event.kind == LinkEvent::Kind::DeviceLost;
    event.from = event.to = row.time;
    event.fromElapsed = event.toElapsed = row.elapsed;
    event.event = row.event;
    event.detail = row.detail;
    m_rows.push_back(event);
}

double LinkEventLog::elapsedAt(qint64 ms) const
{
    if (m_offsets.empty())
        return 0;
    auto at = std::upper_bound(m_offsets.begin(), m_offsets.end(), ms,
                               [](qint64 t, const std::pair<qint64, qint64>& o) { return t < o.first; });
    if (at != m_offsets.begin())
        --at;
    return std::max(0.0, double(ms - at->second) / 1000);
}

std::vector<LinkEvent> LinkEventLog::events(const measurement::ErrorPerformance& performance,
                                            const ReadRow& last) const
{
    std::vector<LinkEvent> all = m_rows;
    all.insert(all.end(), m_syncLosses.begin(), m_syncLosses.end());
    for (LinkEvent& e : all)
        if (e.open) {
            e.to = last.time;
            e.toElapsed = last.elapsed;
        }
    if (m_syncLoss) {
        all.push_back(*m_syncLoss);
        all.back().open = true;
    }
    measurement::Bounded unknownAcrossRestarts;
    for (const LinkEvent& e : secondsEvents(performance, last, unknownAcrossRestarts))
        all.push_back(e);
    if (m_restartsFolded) {
        all.push_back(*m_restartsFolded);
        all.back().seconds = unknownAcrossRestarts;
    }
    if (m_unframedFolded)
        all.push_back(*m_unframedFolded);

    std::stable_sort(all.begin(), all.end(),
                     [](const LinkEvent& a, const LinkEvent& b) { return a.fromElapsed < b.fromElapsed; });
    return all;
}

std::vector<LinkEvent> LinkEventLog::secondsEvents(const measurement::ErrorPerformance& performance,
                                                   const ReadRow& last,
                                                   measurement::Bounded& unknownAcrossRestarts) const
{
    // Stretches of seconds alike, from the analysis: each run of one kind is one event.
    struct Stretch
    {
        LinkEvent event;
        qint64 first = 0, end = 0; // Unix seconds, end past the last
        // Seconds unavailable, and errored, for certain: what unknown seconds
        // bring to the stretches they join.
        double unavailable = 0, errored = 0;
    };
    std::vector<Stretch> stretches;
    for (const measurement::SecondSpan& span : performance.spans()) {
        const std::optional<LinkEvent::Kind> kind = kindOf(span);
        if (!kind)
            continue;
        if (stretches.empty() || stretches.back().event.kind != *kind || stretches.back().end != span.first) {
            Stretch& s = stretches.emplace_back();
            s.event.kind = *kind;
            s.first = span.first;
        }
        Stretch& s = stretches.back();
        const double n = double(span.seconds);
        s.end = span.first + span.seconds;
        s.unavailable += span.least == SecondClass::Unavailable ? n : 0;
        s.errored += span.least != SecondClass::ErrorFree ? n : 0;
        s.event.seconds.most += n;
        if (*kind == LinkEvent::Kind::Unavailable) {
            s.event.seconds.least += span.least == SecondClass::Unavailable ? n : 0;
        } else if (*kind == LinkEvent::Kind::ErroredSeconds) {
            s.event.seconds.least += span.least != SecondClass::ErrorFree ? n : 0;
            s.event.severe.least += span.least == SecondClass::Severe ? n : 0;
            s.event.severe.most += span.most == SecondClass::Severe ? n : 0;
        } else {
            s.event.seconds.least += n;
        }
    }

    // Seconds a restart of the counts left unknown go with the restarts'
    // line, and what they split joins again: they may have been anything.
    const auto acrossRestart = [this](const Stretch& s) {
        const double from = elapsedAt(s.first * 1000) - 1, to = elapsedAt(s.end * 1000) + 1;
        const auto at = std::lower_bound(m_restarts.begin(), m_restarts.end(), from);
        return at != m_restarts.end() && *at <= to;
    };
    std::vector<Stretch> kept;
    std::optional<Stretch> bridge; // unknown seconds of a restart right after kept.back()
    for (Stretch& s : stretches) {
        if (s.event.kind == LinkEvent::Kind::NoReports && acrossRestart(s)) {
            unknownAcrossRestarts.least += s.event.seconds.least;
            unknownAcrossRestarts.most += s.event.seconds.most;
            bridge = !kept.empty() && kept.back().end == s.first ? std::optional<Stretch>(s) : std::nullopt;
            continue;
        }
        if (bridge && bridge->end == s.first && kept.back().event.kind == s.event.kind) {
            LinkEvent& joined = kept.back().event;
            joined.seconds.least += s.event.seconds.least
                                    + (s.event.kind == LinkEvent::Kind::Unavailable ? bridge->unavailable
                                                                                      : bridge->errored);
            joined.seconds.most += s.event.seconds.most + bridge->event.seconds.most;
            joined.severe.least += s.event.severe.least;
            joined.severe.most += s.event.severe.most + bridge->event.seconds.most;
            kept.back().end = s.end;
        } else {
            kept.push_back(s);
        }
        bridge.reset();
    }

    const bool stopped = last.is(RowEvent::Stopped);
    const qint64 lastSecond = measurement::utcSecondOf(last.time.toMSecsSinceEpoch());
    std::vector<LinkEvent> events;
    for (Stretch& s : kept) {
        LinkEvent& e = s.event;
        // Possibly errored seconds are so because frames known to be bad may
        // lie in each: one of them at least holds one.
        if (e.kind == LinkEvent::Kind::ErroredSeconds)
            e.seconds.least = std::max(e.seconds.least, 1.0);
        e.from = utcAt(s.first * 1000);
        e.fromElapsed = elapsedAt(s.first * 1000);
        e.to = utcAt(s.end * 1000);
        e.toElapsed = elapsedAt(s.end * 1000);
        // Severely errored seconds near the end may still begin or end unavailable time.
        e.provisional = !stopped && e.kind != LinkEvent::Kind::NoReports
                        && s.end > lastSecond - measurement::AvailabilityTracker::kStreak;
        e.open = !stopped && s.end > lastSecond;
        events.push_back(e);
    }
    return events;
}

std::vector<std::pair<double, double>> LinkEventLog::fold(const std::vector<double>& moments, double within)
{
    std::vector<std::pair<double, double>> stretches;
    for (const double at : moments) {
        if (!stretches.empty() && at - stretches.back().second < within)
            stretches.back().second = std::max(stretches.back().second, at);
        else
            stretches.emplace_back(at, at);
    }
    return stretches;
}
