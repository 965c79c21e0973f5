#include "emulator/CounterReportEncoding.h"

#include <QtEndian>

namespace emulator {

QByteArray encodeReport(const LinkCounts& counts, quint8 lastByte)
{
    QByteArray report(kReportSize, '\0');
    auto* bytes = reinterpret_cast<uchar*>(report.data());
    bytes[0] = kReportMarker;
    qToBigEndian(counts.recvFrame, bytes + 1);
    qToBigEndian(counts.lossFrame, bytes + 3);
    qToBigEndian(counts.errorFrame, bytes + 5);
    qToBigEndian(counts.errorBit, bytes + 7);
    bytes[11] = lastByte;
    return report;
}

} // namespace emulator
