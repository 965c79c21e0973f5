#pragma once

#include "measurement/ReportPort.h"
#include "measurement/StatusView.h"

namespace measurement {

// Handles one event of the serial port. For a receive event it takes every
// waiting byte, shows the first twelve in the hex line and, when the input
// starts with the report marker, writes the four counts and the four rates.
// Input without the marker is dropped together with whatever arrived since.
// Every step is guarded on its own; nothing escapes and nothing is reported.
void receiveReport(ReportPort& port, StatusView& view) noexcept;

} // namespace measurement
