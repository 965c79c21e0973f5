#pragma once

#include "emulator/LinkModel.h"
#include "measurement/CounterReport.h"

#include <QByteArray>

namespace emulator {

// The report format is the monitor's own.
constexpr int kReportSize = measurement::kReportLength;
constexpr quint8 kReportMarker = measurement::kReportMarker;

// The 12 bytes of a counter report: the marker, then RecvFrame, LossFrame and ErrorFrame as 16-bit
// and ErrorBit as 32-bit unsigned big-endian numbers, then `lastByte`, which the monitor only shows.
QByteArray encodeReport(const LinkCounts& counts, quint8 lastByte = 0);

} // namespace emulator
