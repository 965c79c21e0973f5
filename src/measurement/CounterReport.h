#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace measurement {

// The unit under test's counter report: marker, three 16-bit frame counts and
// a 32-bit bit-error count, all big-endian, and one byte nobody interprets.
inline constexpr int kReportLength = 12;
inline constexpr quint8 kReportMarker = 0xF1;

// Byte i of the input; none when the input is shorter.
std::optional<quint8> reportByte(const QByteArray& input, qsizetype i);

// Unsigned big-endian field of `width` bytes (2 or 4) starting at byte
// `first`; none unless the input holds all of them.
std::optional<quint32> reportField(const QByteArray& input, qsizetype first, qsizetype width);

// " F1 03 E8 ..." for the first twelve bytes present in the input.
QString hexLine(const QByteArray& input);

} // namespace measurement
