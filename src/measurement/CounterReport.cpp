#include "measurement/CounterReport.h"

#include <stdexcept>

namespace measurement {

quint8 reportByte(const QByteArray& input, int i)
{
    if (i < 0 || i >= input.size())
        throw std::out_of_range("report byte " + std::to_string(i) + " is missing");
    return static_cast<quint8>(input[i]);
}

quint32 reportField(const QByteArray& input, int first, int width)
{
    quint32 value = 0;
    for (int i = first; i < first + width; ++i)
        value = (value << 8) | reportByte(input, i);
    return value;
}

QString hexLine(const QByteArray& input)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    QString line;
    line.reserve(3 * kReportLength);
    const qsizetype shown = qMin<qsizetype>(input.size(), kReportLength);
    for (qsizetype i = 0; i < shown; ++i) {
        const auto byte = static_cast<quint8>(input[i]);
        line += QLatin1Char(' ');
        line += QLatin1Char(digits[byte >> 4]);
        line += QLatin1Char(digits[byte & 0x0F]);
    }
    return line;
}

} // namespace measurement
