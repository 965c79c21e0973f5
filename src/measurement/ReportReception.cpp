#include "measurement/ReportReception.h"

#include "measurement/CounterReport.h"
#include "measurement/Rates.h"
#include "util/RunGuarded.h"

namespace measurement {

using util::runGuarded;

namespace {

// The count displays, in the order of the report's count fields.
constexpr StatusDisplay kCountDisplays[] = {
    StatusDisplay::RecvFrame,
    StatusDisplay::LossFrame,
    StatusDisplay::ErrorFrame,
    StatusDisplay::ErrorBit,
};

} // namespace

void receiveReport(ReportPort& port, StatusView& view) noexcept
{
    qint16 kind = 0;
    if (!runGuarded([&] { kind = port.commEvent(); }) || kind != kCommEventReceive)
        return;

    QByteArray input;
    runGuarded([&] { input = port.input(); });

    const QString line = hexLine(input);
    runGuarded([&] { view.setHexLine(line); });

    // With no byte 0 the marker test itself fails, and the handler goes on
    // with the count steps, which then fail one by one.
    const std::optional<quint8> marker = reportByte(input, 0);
    if (marker && *marker != kReportMarker) {
        runGuarded([&] { port.input(); }); // drop what arrived since the first read
        return;
    }

    const auto counts = reportCountFields(input);
    for (size_t i = 0; i < counts.size(); ++i) {
        // A count whose bytes are missing leaves its display as it was.
        if (const std::optional<quint32> count = counts[i])
            runGuarded([&] { view.setDisplayText(kCountDisplays[i], QString::number(*count)); });
    }
    applyRates(view);
}

} // namespace measurement
