#include "measurement/RunTotals.h"

#include <QStringList>

#include <limits>
#include <stdexcept>
#include <string>

namespace measurement {

namespace {

struct Field
{
    const char* name;
    quint64 ReportCounts::*member;
    quint64 modulus; // the width of the unit's register
};

constexpr Field kFields[] = {
    {"recv_frames", &ReportCounts::recvFrame, 1ull << 16},
    {"loss_frames", &ReportCounts::lossFrame, 1ull << 16},
    {"error_frames", &ReportCounts::errorFrame, 1ull << 16},
    {"error_bits", &ReportCounts::errorBit, 1ull << 32},
};

} // namespace

QString counterModelName(CounterModel model)
{
    return model == CounterModel::Wrap ? QStringLiteral("wrap") : QStringLiteral("restart");
}

std::optional<CounterModel> counterModelFromName(const QString& name)
{
    if (name == QLatin1String("restart"))
        return CounterModel::Restart;
    if (name == QLatin1String("wrap"))
        return CounterModel::Wrap;
    return std::nullopt;
}

namespace {

// a + b, where the run's `name` total must hold the sum.
quint64 checkedSum(quint64 a, quint64 b, const char* name)
{
    quint64 sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        throw std::overflow_error(std::string("the run's ") + name + " total passes 2^64");
    return sum;
}

} // namespace

TotalsStep RunTotals::add(const ReportCounts& report)
{
    TotalsStep step;
    QStringList decreases;
    ReportCounts counted = m_counted; // taken on only once every total is known to fit
    if (m_last) {
        ReportCounts increment;
        for (const Field& field : kFields) {
            const quint64 before = *m_last.*field.member;
            const quint64 now = report.*field.member;
            if (now < before)
                decreases << QStringLiteral("%1 %2 -> %3").arg(field.name).arg(before).arg(now);
            increment.*field.member = now - before; // kept only when nothing went down
            if (m_model == CounterModel::Wrap)
                counted.*field.member =
                    checkedSum(counted.*field.member, (now + field.modulus - before) % field.modulus, field.name);
        }
        // A new test period: the last report was the whole of the one before.
        if (m_model == CounterModel::Restart && report.recvFrame < m_last->recvFrame) {
            for (const Field& field : kFields)
                counted.*field.member = checkedSum(counted.*field.member, *m_last.*field.member, field.name);
        }
        if (decreases.isEmpty())
            step.increment = increment;
    } else if (m_model == CounterModel::Restart) {
        // The first report's period belongs to the run: its frames are counted from 0.
        step.increment = report;
    }
    // The totals with this report, the bits of its frames included, must fit.
    quint64 frames = counted.recvFrame;
    if (m_model == CounterModel::Restart) {
        for (const Field& field : kFields)
            checkedSum(counted.*field.member, report.*field.member, field.name);
        frames += report.recvFrame; // fits: summed just above
    }
    if (frames > std::numeric_limits<quint64>::max() / kBitsPerFrame)
        throw std::overflow_error("the run's bits total passes 2^64");
    m_counted = counted;
    if (!m_last && m_model == CounterModel::Restart)
        m_lostBeforeFirst = report.lossFrame;
    // A free-running counter's first value says nothing of when it started:
    // the wrap model counts from the first report on.
    m_last = report;
    step.decreases = decreases.join(QStringLiteral(", "));
    return step;
}

ReportCounts RunTotals::totals() const
{
    if (m_model == CounterModel::Wrap || !m_last)
        return m_counted;
    ReportCounts sum = m_counted;
    for (const Field& field : kFields)
        sum.*field.member += *m_last.*field.member;
    return sum;
}

} // namespace measurement
