#include "measurement/CounterReport.h"

#include <QtEndian>

namespace measurement {

std::optional<quint8> reportByte(const QByteArray& input, qsizetype i)
{
    if (i >= input.size())
        return std::nullopt;
    return static_cast<quint8>(input[i]);
}

std::optional<quint32> reportField(const QByteArray& input, qsizetype first, qsizetype width)
{
    if (first + width > input.size())
        return std::nullopt;
    const char* bytes = input.constData() + first;
    return width == 2 ? qFromBigEndian<quint16>(bytes) : qFromBigEndian<quint32>(bytes);
}

std::array<std::optional<quint32>, 4> reportCountFields(const QByteArray& input)
{
    return {reportField(input, 1, 2), reportField(input, 3, 2), reportField(input, 5, 2), reportField(input, 7, 4)};
}

std::optional<ReportCounts> decodeReport(const QByteArray& input)
{
    const auto fields = reportCountFields(input);
    for (const std::optional<quint32>& field : fields) {
        if (!field)
            return std::nullopt;
    }
    return ReportCounts{*fields[0], *fields[1], *fields[2], *fields[3]};
}

QString hexLine(const QByteArray& input)
{
    if (input.isEmpty())
        return {};
    return QLatin1Char(' ')
           + QString::fromLatin1(input.first(qMin<qsizetype>(input.size(), kReportLength)).toHex(' ').toUpper());
}

} // namespace measurement
