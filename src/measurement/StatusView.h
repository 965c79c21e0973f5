#pragma once

#include <QString>

namespace measurement {

// The eight value displays of the status group. The four count displays are
// the only store of the counts: rates are computed from their texts.
enum class StatusDisplay {
    RecvFrame,
    LossFrame,
    ErrorFrame,
    ErrorBit,
    Ber,
    BerLoss,
    Per,
    PerLoss,
};

// What report reception and the rates need of the window: the texts of the
// status displays and the hex line in the first status-bar panel.
class StatusView
{
public:
    virtual ~StatusView() = default;
    virtual QString displayText(StatusDisplay display) const = 0;
    virtual void setDisplayText(StatusDisplay display, const QString& text) = 0;
    virtual void setHexLine(const QString& text) = 0;
};

} // namespace measurement
