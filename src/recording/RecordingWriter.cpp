#include "recording/RecordingWriter.h"

#include "measurement/RunSettings.h"

#include <QStringList>

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

QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

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

QByteArray csvLine(const WrittenRow& record)
{
    QStringList out;
    for (const QString& field : fields(record))
        out << csvField(field);
    return out.join(QLatin1Char(',')).toUtf8() + '\n';
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
