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
        return QStringLiteral("no reports");
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
        return plural(count, "frame lost", "frames lost");
    case Kind::Unavailable:
    case Kind::NoReports:
        return length;
    case Kind::ErroredSeconds:
        return severe.most > 0 ? QStringLiteral("%1, %2 SES").arg(length, severe.text()) : length;
    case Kind::DeviceLost:
        return open ? detail : QStringLiteral("back after %1 s; %2").arg(toElapsed - fromElapsed, 0, 'f', 1).arg(detail);
    case Kind::Restarts:
        return detail.contains(QLatin1String("a new test period"))
                   ? QStringLiteral("%1: new test periods").arg(plural(count, "time", "times"))
                   : QStringLiteral("%1, the first: %2").arg(plural(count, "time", "times"), detail);
    case Kind::Unframed:
        return QStringLiteral("%1, %2").arg(plural(count, "row", "rows"), plural(bytes, "byte", "bytes"));
    case Kind::Recorder:
        break;
    }
    return detail;
}

void LinkEventLog::addReport(const ReadRow& report, const measurement::TotalsStep& step)
{
    const qint64 ms = report.time.toMSecsSinceEpoch();
    const qint64 offset = ms - qRound64(report.elapsed * 1000);
    if (m_offsets.empty() || report.clockStep != 0)
        m_offsets.emplace_back(ms, offset);

    // Frames lost between the report before and this one: a loss of sync
    // that lasts while the reports go on counting lost frames.
    if (step.increment) {
        const quint64 lost = step.increment->lossFrame;
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
            m_rows.push_back(*m_syncLoss);
            m_syncLoss.reset();
        }
    }
    m_lastReport = report;
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
    for (LinkEvent& e : all)
        if (e.open) {
            e.to = last.time;
            e.toElapsed = last.elapsed;
        }
    if (m_syncLoss) {
        all.push_back(*m_syncLoss);
        all.back().open = true;
    }
    for (const std::optional<LinkEvent>& folded : {m_restartsFolded, m_unframedFolded})
        if (folded)
            all.push_back(*folded);

    // Stretches of seconds alike, from the analysis: each run of one kind is one event.
    const bool stopped = last.is(RowEvent::Stopped);
    const qint64 lastSecond = measurement::utcSecondOf(last.time.toMSecsSinceEpoch());
    std::optional<LinkEvent> seconds;
    qint64 end = 0;
    const auto close = [&] {
        if (!seconds)
            return;
        // Its seconds are possibly errored because frames known to be bad may lie in each:
        // one of them at least holds one.
        if (seconds->kind == LinkEvent::Kind::ErroredSeconds)
            seconds->seconds.least = std::max(seconds->seconds.least, 1.0);
        seconds->to = utcAt(end * 1000);
        seconds->toElapsed = elapsedAt(end * 1000);
        // Severely errored seconds near the end may still begin or end unavailable time.
        seconds->provisional = !stopped && seconds->kind != LinkEvent::Kind::NoReports
                               && end > lastSecond - measurement::AvailabilityTracker::kStreak;
        seconds->open = !stopped && end > lastSecond;
        all.push_back(*seconds);
        seconds.reset();
    };
    for (const measurement::SecondSpan& span : performance.spans()) {
        const std::optional<LinkEvent::Kind> kind = kindOf(span);
        if (seconds && (!kind || *kind != seconds->kind || span.first != end))
            close();
        if (!kind)
            continue;
        if (!seconds) {
            seconds = LinkEvent{};
            seconds->kind = *kind;
            seconds->from = utcAt(span.first * 1000);
            seconds->fromElapsed = elapsedAt(span.first * 1000);
        }
        const double n = double(span.seconds);
        seconds->seconds.most += n;
        switch (*kind) {
        case LinkEvent::Kind::Unavailable:
            seconds->seconds.least += span.least == SecondClass::Unavailable ? n : 0;
            break;
        case LinkEvent::Kind::ErroredSeconds:
            seconds->seconds.least += span.least != SecondClass::ErrorFree ? n : 0;
            seconds->severe.least += span.least == SecondClass::Severe ? n : 0;
            seconds->severe.most += span.most == SecondClass::Severe ? n : 0;
            break;
        default:
            seconds->seconds.least += n;
            break;
        }
        end = span.first + span.seconds;
    }
    close();

    std::stable_sort(all.begin(), all.end(),
                     [](const LinkEvent& a, const LinkEvent& b) { return a.fromElapsed < b.fromElapsed; });
    return all;
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
