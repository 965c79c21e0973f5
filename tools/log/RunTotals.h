#pragma once

#include "LogOptions.h"

#include "measurement/Rates.h"

#include <QString>

#include <optional>

// The counts of a whole run, over many reports. One report holds at most
// 65535 frames, so any claim about a low BER needs these.
class RunTotals
{
public:
    explicit RunTotals(CounterModel model)
        : m_model(model)
    {
    }

    // Takes the next report. Returns, when any count went down, what did
    // ("recv_frames 65000 -> 120"); empty otherwise.
    QString add(const measurement::ReportCounts& report);

    measurement::ReportCounts totals() const;
    quint64 bits() const { return totals().recvFrame * measurement::kBitsPerFrame; }
    quint64 bitErrors() const { return totals().errorBit; }

private:
    CounterModel m_model;
    std::optional<measurement::ReportCounts> m_last;
    measurement::ReportCounts m_counted; // restart: ended periods; wrap: increments
};
