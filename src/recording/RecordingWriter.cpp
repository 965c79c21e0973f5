#include "recording/RecordingWriter.h"

#include "measurement/RunSettings.h"
#include "util/DecimalDigits.h"

#include <QStringList>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>

using namespace recording;

namespace {

QString significant(double value)
{
    return std::isfinite(value) ? QString::number(value, 'g', 9) : QString();
}

// The row's fields as texts; empty where there is nothing.
std::array<QString, ColumnCount> fields(const WrittenRow& r)
{
    std::array<QString, ColumnCount> f;
    f[Time] = r.time.toString(Qt::ISODateWithMs);
    f[Elapsed] = QString::number(r.elapsedSeconds, 'f', 3);
    f[Event] = r.event;
    if (r.counts) {
        f[RecvFrames] = QString::number(r.counts->recvFrame);
        f[LossFrames] = QString::number(r.counts->lossFrame);
        f[ErrorFrames] = QString::number(r.counts->errorFrame);
        f[ErrorBits] = QString::number(r.counts->errorBit);
        f[Ber] = significant(r.rates.ber);
        f[BerLoss] = significant(r.rates.berLoss);
        f[Per] = significant(r.rates.per);
        f[PerLoss] = significant(r.rates.perLoss);
        for (int i = 0; i < 4; ++i)
            f[BerText + i] = r.rateTexts[size_t(i)];
    }
    f[RunBits] = QString::number(r.run.bits);
    f[RunErrorBits] = QString::number(r.run.errorBits);
    if (r.run.bits > 0) {
        f[RunBer] = significant(double(r.run.errorBits) / double(r.run.bits));
        f[RunBerUpper] = significant(r.run.berUpper);
    }
    f[RunFrames] = QString::number(r.run.frames);
    f[RunLostFrames] = QString::number(r.run.lostFrames);
    f[RunErrorFrames] = QString::number(r.run.errorFrames);
    f[Detail] = r.detail;
    return f;
}

// A row goes out at every report: its fields are written straight into the
// line's bytes, in the forms QString::number and Qt::ISODateWithMs give.
class CsvLineBuilder
{
public:
    CsvLineBuilder() { m_out.reserve(320); }

    template <typename Number>
    void integer(Number value)
    {
        char digits[24];
        m_out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
        m_out += ',';
    }
    // As QString::number(value, 'f', decimals).
    void fixed(double value, int decimals)
    {
        decimal(value, 'f', decimals);
        m_out += ',';
    }
    // Nine significant digits, as QString::number(value, 'g', 9); nothing
    // when the value is not finite.
    void significant(double value)
    {
        if (std::isfinite(value))
            decimal(value, 'g', 9);
        m_out += ',';
    }
    void text(const QString& field)
    {
        // Most fields are plain ASCII, copied as they are.
        const auto plain = [](QChar c) {
            return c.unicode() < 0x80 && c != u',' && c != u'"' && c != u'\n' && c != u'\r';
        };
        if (std::all_of(field.begin(), field.end(), plain)) {
            const qsizetype at = m_out.size();
            m_out.resize(at + field.size());
            std::transform(field.begin(), field.end(), m_out.begin() + at, [](QChar c) { return char(c.unicode()); });
            m_out += ',';
            return;
        }
        const QByteArray bytes = field.toUtf8();
        if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r')) {
            m_out += '"';
            m_out += QByteArray(bytes).replace('"', "\"\"");
            m_out += '"';
        } else {
            m_out += bytes;
        }
        m_out += ',';
    }
    void empty(int fields = 1) { m_out.append(fields, ','); }
    // As QDateTime::toString(Qt::ISODateWithMs) of a UTC time: 2026-12-09T15:37:08.123Z.
    void utcTime(const QDateTime& time)
    {
        using namespace std::chrono;
        const qint64 ms = time.isValid() ? time.toMSecsSinceEpoch() : 0;
        const sys_days day = floor<days>(sys_time<milliseconds>(milliseconds(ms)));
        const year_month_day date(day);
        // A time not in UTC writes an offset, and years outside 1..9999 another form: Qt says how.
        if (!time.isValid() || time.timeSpec() != Qt::UTC || date.year() < year(1) || date.year() > year(9999))
            return text(time.toString(Qt::ISODateWithMs));
        const qint64 inDay = ms - duration_cast<milliseconds>(day.time_since_epoch()).count();
        char t[25];
        digits(t, 4, int(date.year()));
        t[4] = '-';
        digits(t + 5, 2, int(unsigned(date.month())));
        t[7] = '-';
        digits(t + 8, 2, int(unsigned(date.day())));
        t[10] = 'T';
        digits(t + 11, 2, int(inDay / 3'600'000));
        t[13] = ':';
        digits(t + 14, 2, int(inDay / 60'000 % 60));
        t[16] = ':';
        digits(t + 17, 2, int(inDay / 1000 % 60));
        t[19] = '.';
        digits(t + 20, 3, int(inDay % 1000));
        t[23] = 'Z';
        t[24] = ',';
        m_out.append(t, sizeof t);
    }
    // The line, its last field's separator made its end.
    QByteArray line()
    {
        m_out.back() = '\n';
        return std::move(m_out);
    }

private:
    void decimal(double value, char format, int precision)
    {
        char digits[util::kDecimalDigitsSize];
        if (const char* end = util::decimalDigits(value, format, precision, digits))
            m_out.append(digits, end - digits);
        else
            m_out += QByteArray::number(value, format, precision);
    }
    static void digits(char* at, int width, int value)
    {
        for (int i = width - 1; i >= 0; --i, value /= 10)
            at[i] = char('0' + value % 10);
    }

    QByteArray m_out;
};

QString jsonString(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + c;
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

} // namespace

QByteArray restartedCsvLine(const QString& startedDetail, const QString& why, const QByteArray& next)
{
    const std::optional<QList<QByteArray>> f = csvFields(next.endsWith('\n') ? next.chopped(1) : next);
    if (!f || f->size() != ColumnCount)
        return {};
    WrittenRow started;
    started.time = QDateTime::fromString(QString::fromLatin1(f->at(Time)), Qt::ISODateWithMs);
    started.elapsedSeconds = f->at(Elapsed).toDouble();
    started.event = eventName(RowEvent::Started);
    const QString words = measurement::startedDetailWords(startedDetail);
    started.detail = words + QStringLiteral(", ") + why + startedDetail.mid(words.size());
    started.run = {.bits = f->at(RunBits).toULongLong(),
                   .errorBits = f->at(RunErrorBits).toULongLong(),
                   .berUpper = f->at(RunBerUpper).toDouble(),
                   .frames = f->at(RunFrames).toULongLong(),
                   .lostFrames = f->at(RunLostFrames).toULongLong(),
                   .errorFrames = f->at(RunErrorFrames).toULongLong()};
    return csvLine(started);
}

QByteArray csvLine(const WrittenRow& r)
{
    // The columns in their order; the same fields as a JSON line's.
    CsvLineBuilder line;
    line.utcTime(r.time);
    line.fixed(r.elapsedSeconds, 3);
    line.text(r.event);
    if (r.counts) {
        line.integer(r.counts->recvFrame);
        line.integer(r.counts->lossFrame);
        line.integer(r.counts->errorFrame);
        line.integer(r.counts->errorBit);
        line.significant(r.rates.ber);
        line.significant(r.rates.berLoss);
        line.significant(r.rates.per);
        line.significant(r.rates.perLoss);
        for (const QString& rateText : r.rateTexts)
            line.text(rateText);
    } else {
        line.empty(PerLossText - RecvFrames + 1);
    }
    line.integer(r.run.bits);
    line.integer(r.run.errorBits);
    if (r.run.bits > 0) {
        line.significant(double(r.run.errorBits) / double(r.run.bits));
        line.significant(r.run.berUpper);
    } else {
        line.empty(2);
    }
    line.integer(r.run.frames);
    line.integer(r.run.lostFrames);
    line.integer(r.run.errorFrames);
    line.text(r.detail);
    return line.line();
}

QByteArray jsonLine(const WrittenRow& record)
{
    const auto f = fields(record);
    QString out = QStringLiteral("{");
    for (int i = 0; i < ColumnCount; ++i) {
        // An empty field is null, except the event and its detail, which are texts even when empty.
        const QString& field = f[size_t(i)];
        const QString value = field.isEmpty() && i != Event && i != Detail ? QStringLiteral("null")
                              : isTextColumn(i)                            ? jsonString(field)
                                                                           : field;
        out += (i ? QStringLiteral(",\"") : QStringLiteral("\"")) + QLatin1String(kColumnNames[size_t(i)])
               + QStringLiteral("\":") + value;
    }
    if (!record.performanceJson.isEmpty())
        out += QStringLiteral(",\"error_performance\":") + record.performanceJson;
    return out.toUtf8() + "}\n";
}

QString performanceJson(const measurement::ErrorPerformanceFigures& f)
{
    const auto value = [](const measurement::Bounded& figure) {
        const QString text = figure.text(); // "3", "[2,5]" or "N/A"
        return text == QLatin1String("N/A") ? QStringLiteral("null") : text;
    };
    QStringList out;
    for (const auto& [name, figure] : measurement::namedFigures(f))
        out << QStringLiteral("\"%1\":%2").arg(QLatin1String(name), value(figure));
    return QLatin1Char('{') + out.join(QLatin1Char(',')) + QLatin1Char('}');
}

void describeReport(const measurement::ReportCounts& counts, WrittenRow& record)
{
    record.counts = counts;
    record.rates = measurement::computeRates(counts);
    record.rateTexts = measurement::rateTexts(counts);
}
