#include "emulator/LinkRun.h"

#include "measurement/ErrorPerformance.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>

namespace emulator {

namespace {

constexpr qint64 kMsPerSecond = 1000;

} // namespace

LinkRun::LinkRun(const EmulatorSettings& settings, qint64 startMs)
    : m_link(settings.link, settings.seed, settings.overflow)
    , m_conditions(settings.conditions, settings.seed)
    , m_startMs(startMs)
    , m_startSecond(measurement::utcSecondOf(startMs))
    , m_nowMs(startMs)
    , m_truth{{.second = m_startSecond}}
{
}

LinkCounts LinkRun::advanceTo(qint64 utcMs)
{
    while (m_nowMs < utcMs) {
        const qint64 second = measurement::utcSecondOf(m_nowMs);
        if (m_truth.empty() || m_truth.back().second < second) {
            m_truth.push_back({.second = second});
            m_secondStart = m_link.totals();
        }
        const qint64 end = std::min(utcMs, (second + 1) * kMsPerSecond);
        m_link.advance(double(end - m_nowMs) / kMsPerSecond, m_conditions.at(second - m_startSecond));
        m_nowMs = end;

        const LinkTotals& totals = m_link.totals();
        SecondTruth& truth = m_truth.back();
        truth.blocks = totals.framesSent - m_secondStart.framesSent;
        truth.erroredBlocks = totals.framesWithErrors - m_secondStart.framesWithErrors;
        truth.lostFrames = totals.framesLost - m_secondStart.framesLost;
    }
    return m_link.counts();
}

std::vector<SecondTruth> LinkRun::takeCompleteTruth()
{
    auto end = m_truth.end();
    if (!m_truth.empty() && m_nowMs < (m_truth.back().second + 1) * kMsPerSecond)
        --end; // still under way
    std::vector<SecondTruth> complete(m_truth.begin(), end);
    m_truth.erase(m_truth.begin(), end);
    return complete;
}

QByteArray truthCsvHeader()
{
    return QByteArrayLiteral("time,blocks,errored_blocks,lost_frames\n");
}

QByteArray truthCsvLine(const SecondTruth& second)
{
    return QDateTime::fromSecsSinceEpoch(second.second, QTimeZone::utc())
               .toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"))
               .toLatin1()
           + ',' + QByteArray::number(second.blocks) + ',' + QByteArray::number(second.erroredBlocks) + ','
           + QByteArray::number(second.lostFrames) + '\n';
}

} // namespace emulator
