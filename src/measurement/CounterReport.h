#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>
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

// The four counts of one counter report.
struct ReportCounts
{
    quint64 recvFrame = 0;
    quint64 lossFrame = 0;
    quint64 errorFrame = 0;
    quint64 errorBit = 0;
};

// The report's counts field by field, in the order of ReportCounts: bytes
// [1:2] received frames, [3:4] lost frames, [5:6] errored frames and [7:10]
// bit errors. A count whose bytes the input lacks is none.
std::array<std::optional<quint32>, 4> reportCountFields(const QByteArray& input);

// The four counts of a whole report; none when the input is shorter.
std::optional<ReportCounts> decodeReport(const QByteArray& input);

// " F1 03 E8 ..." for the first twelve bytes present in the input.
QString hexLine(const QByteArray& input);

} // namespace measurement
