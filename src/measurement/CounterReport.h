#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace measurement {

// The unit under test's counter report: marker, three 16-bit frame counts and
// a 32-bit bit-error count, all big-endian, and one byte nobody interprets.
inline constexpr int kReportLength = 12;
inline constexpr quint8 kReportMarker = 0xF1;

// Byte i of the input; throws std::out_of_range when the input is shorter.
quint8 reportByte(const QByteArray& input, int i);

// Unsigned big-endian field of `width` bytes starting at byte `first`.
// Reads every byte before returning, so a short input fails as a whole.
quint32 reportField(const QByteArray& input, int first, int width);

// " F1 03 E8 ..." for the first twelve bytes present in the input.
QString hexLine(const QByteArray& input);

} // namespace measurement
