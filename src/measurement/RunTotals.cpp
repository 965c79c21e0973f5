#include "measurement/RunTotals.h"

#include <QStringList>

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

TotalsStep RunTotals::add(const ReportCounts& report)
{
    TotalsStep step;
    QStringList decreases;
    if (m_last) {
        ReportCounts increment;
        for (const Field& field : kFields) {
            const quint64 before = *m_last.*field.member;
            const quint64 now = report.*field.member;
            if (now < before)
                decreases << QStringLiteral("%1 %2 -> %3").arg(field.name).arg(before).arg(now);
            increment.*field.member = now - before; // kept only when nothing went down
            if (m_model == CounterModel::Wrap)
                m_counted.*field.member += (now + field.modulus - before) % field.modulus;
        }
        // A new test period: the last report was the whole of the one before.
        if (m_model == CounterModel::Restart && report.recvFrame < m_last->recvFrame) {
            for (const Field& field : kFields)
                m_counted.*field.member += *m_last.*field.member;
        }
        if (decreases.isEmpty())
            step.increment = increment;
    } else if (m_model == CounterModel::Restart) {
        // The first report's period belongs to the run: its frames are counted from 0.
        step.increment = report;
        m_lostBeforeFirst = report.lossFrame;
    }
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
