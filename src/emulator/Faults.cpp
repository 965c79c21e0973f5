#include "emulator/Faults.h"

#include "emulator/CounterReportEncoding.h"

#include <algorithm>

namespace emulator {

namespace {

// Never the marker: a byte that is noise and cannot pass for the start of a report.
char drawNonMarker(std::mt19937& random)
{
    std::uniform_int_distribution<int> value(0, 254);
    const int drawn = value(random);
    return char(drawn < kReportMarker ? drawn : drawn + 1);
}

} // namespace

ReportFault FaultPlan::faultFor(int number) const
{
    if (reportFaults.isEmpty() || faultEvery < 1 || number < 1 || number % faultEvery != 0)
        return ReportFault::None;
    return reportFaults.at((number / faultEvery - 1) % reportFaults.size());
}

int reportsCarried(ReportFault fault)
{
    return fault == ReportFault::Double ? 2 : 1;
}

QByteArray shapeTransmission(ReportFault fault, const QList<QByteArray>& reports, std::mt19937& random)
{
    if (reports.isEmpty())
        return {};
    QByteArray bytes = reports.first();
    switch (fault) {
    case ReportFault::None:
        break;
    case ReportFault::WrongMarker:
        bytes[0] = char(kReportMarker ^ 0x01);
        break;
    case ReportFault::Short:
        bytes.truncate(kShortReportLength);
        break;
    case ReportFault::Double:
        for (qsizetype i = 1; i < reports.size(); ++i)
            bytes += reports.at(i);
        break;
    case ReportFault::Garbage: {
        // The monitor is to see garbage, not something that passes for a report.
        std::uniform_int_distribution<int> length(1, kMaxGarbageLength);
        QByteArray garbage(length(random), '\0');
        for (char& byte : garbage)
            byte = drawNonMarker(random);
        bytes.prepend(garbage);
        break;
    }
    case ReportFault::Stray: {
        // A stray marker looks like the start of a report one byte too early.
        std::uniform_int_distribution<int> oneIn(1, kStrayMarkerOneIn);
        bytes.prepend(oneIn(random) == 1 ? char(kReportMarker) : drawNonMarker(random));
        break;
    }
    }
    return bytes;
}

QList<QByteArray> splitIntoPieces(const QByteArray& bytes, int pieces)
{
    const qsizetype count = std::min<qsizetype>(std::clamp(pieces, 1, kMaxPieces), std::max<qsizetype>(bytes.size(), 1));
    QList<QByteArray> result;
    qsizetype at = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype length = bytes.size() / count + (i < bytes.size() % count ? 1 : 0);
        result.append(bytes.mid(at, length));
        at += length;
    }
    return result;
}

} // namespace emulator
