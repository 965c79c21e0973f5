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
    // Written straight into the text: it is made at every report.
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (input.isEmpty())
        return {};
    const qsizetype count = qMin<qsizetype>(input.size(), kReportLength);
    QString line(3 * count, Qt::Uninitialized);
    QChar* out = line.data();
    for (qsizetype i = 0; i < count; ++i) {
        const auto byte = static_cast<quint8>(input[i]);
        *out++ = QLatin1Char(' ');
        *out++ = QLatin1Char(kDigits[byte >> 4]);
        *out++ = QLatin1Char(kDigits[byte & 0xF]);
    }
    return line;
}

} // namespace measurement
