#pragma once

#include "emulator/LinkModel.h"

#include <QByteArray>

namespace emulator {

constexpr int ReportSize = 12;
constexpr quint8 ReportMarker = 0xF1;

// The 12 bytes of a counter report: the marker, then RecvFrame, LossFrame and ErrorFrame as 16-bit
// and ErrorBit as 32-bit unsigned big-endian numbers, then `lastByte`, which the monitor only shows.
QByteArray encodeReport(const LinkCounts& counts, quint8 lastByte = 0);

} // namespace emulator
