#pragma once

#include "measurement/Rates.h"

#include <QString>

#include <optional>

namespace measurement {

// How the run totals follow the unit's counters.
enum class CounterModel {
    Restart, // a received-frame count below the last one starts a new test period at 0
    Wrap,    // each field is a free-running counter modulo its width
};

QString counterModelName(CounterModel model);
std::optional<CounterModel> counterModelFromName(const QString& name);

// What one report added to the totals.
struct TotalsStep
{
    // When any count went down, what did ("recv_frames 65000 -> 120"); empty otherwise.
    QString decreases;
    // The counts of the frames since the report before, when they are known:
    // not across a decrease, where frames went uncounted or a register may
    // have wrapped more than once.
    std::optional<ReportCounts> increment;
};

// The counts of a whole run, over many reports. One report holds at most
// 65535 frames, so any claim about a low BER needs these.
class RunTotals
{
public:
    explicit RunTotals(CounterModel model)
        : m_model(model)
    {
    }

    // Throws std::overflow_error, the totals as they were, when a total or
    // the run's bits would pass 2^64.
    TotalsStep add(const ReportCounts& report);

    ReportCounts totals() const;
    quint64 bits() const { return totals().recvFrame * kBitsPerFrame; }
    quint64 bitErrors() const { return totals().errorBit; }
    // Frames the unit had lost before the run's first report, which the
    // totals hold under the restart model.
    quint64 lostBeforeFirstReport() const { return m_lostBeforeFirst; }

private:
    CounterModel m_model;
    std::optional<ReportCounts> m_last;
    ReportCounts m_counted; // restart: ended periods; wrap: increments
    quint64 m_lostBeforeFirst = 0;
};

} // namespace measurement
