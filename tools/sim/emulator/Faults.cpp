#include "emulator/Faults.h"

#include "emulator/CounterReportEncoding.h"

namespace emulator {

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
        bytes[0] = char(ReportMarker ^ 0x01);
        break;
    case ReportFault::Short:
        bytes.truncate(ShortReportLength);
        break;
    case ReportFault::Double:
        for (qsizetype i = 1; i < reports.size(); ++i)
            bytes += reports.at(i);
        break;
    case ReportFault::Garbage: {
        // Never the marker: the monitor is to see garbage, not something that passes for a report.
        std::uniform_int_distribution<int> length(1, MaxGarbageLength);
        std::uniform_int_distribution<int> value(0, 254);
        QByteArray garbage(length(random), '\0');
        for (char& byte : garbage) {
            const int drawn = value(random);
            byte = char(drawn < ReportMarker ? drawn : drawn + 1);
        }
        bytes.prepend(garbage);
        break;
    }
    }
    return bytes;
}

} // namespace emulator
