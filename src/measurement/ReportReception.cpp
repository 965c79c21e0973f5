#include "measurement/ReportReception.h"

#include "measurement/CounterReport.h"
#include "measurement/Rates.h"
#include "serial/CommEvents.h"
#include "util/RunGuarded.h"

namespace measurement {

using util::runGuarded;

namespace {

struct CountField
{
    StatusDisplay display;
    int firstByte;
    int width;
};

constexpr CountField kCountFields[] = {
    {StatusDisplay::RecvFrame, 1, 2},
    {StatusDisplay::LossFrame, 3, 2},
    {StatusDisplay::ErrorFrame, 5, 2},
    {StatusDisplay::ErrorBit, 7, 4},
};

} // namespace

void receiveReport(ReportPort& port, StatusView& view) noexcept
{
    qint16 kind = 0;
    if (!runGuarded([&] { kind = port.commEvent(); }) || kind != serial::kCommEventReceive)
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

    for (const CountField& field : kCountFields) {
        // A count whose bytes are missing leaves its display as it was.
        if (const std::optional<quint32> count = reportField(input, field.firstByte, field.width))
            runGuarded([&] { view.setDisplayText(field.display, QString::number(*count)); });
    }
    applyRates(view);
}

} // namespace measurement
