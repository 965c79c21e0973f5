#include "recording/RecordingWriter.h"

#include "measurement/RunSettings.h"
#include "measurement/StatusView.h"

#include <QStringList>

#include <cmath>

namespace {

using measurement::StatusDisplay;

const char* const kColumns[] = {
    "time",
    "elapsed_s",
    "event",
    "recv_frames",
    "loss_frames",
    "error_frames",
    "error_bits",
    "ber",
    "ber_loss",
    "per",
    "per_loss",
    "ber_text",
    "ber_loss_text",
    "per_text",
    "per_loss_text",
    "run_bits",
    "run_error_bits",
    "run_ber",
    "run_ber_upper",
    "run_frames",
    "run_lost_frames",
    "run_error_frames",
    "detail",
};
constexpr int kColumnCount = std::size(kColumns);
// Columns that hold texts: JSON quotes them even when they look like numbers.
constexpr bool isText(int column)
{
    return column == 0 || column == 2 || (column >= 11 && column <= 14) || column == kColumnCount - 1;
}

// The eight displays of the window's status group, in memory.
class DisplayTexts final : public measurement::StatusView
{
public:
    QString displayText(StatusDisplay display) const override { return m_texts[size_t(display)]; }
    void setDisplayText(StatusDisplay display, const QString& text) override { m_texts[size_t(display)] = text; }
    void setHexLine(const QString&) override { }

private:
    std::array<QString, 8> m_texts;
};

QString significant(double value)
{
    return std::isfinite(value) ? QString::number(value, 'g', 9) : QString();
}

// The row's fields as texts; empty where there is nothing.
std::array<QString, kColumnCount> fields(const Record& r)
{
    std::array<QString, kColumnCount> f;
    f[0] = r.time.toString(Qt::ISODateWithMs);
    f[1] = QString::number(r.elapsedSeconds, 'f', 3);
    f[2] = r.event;
    if (r.counts) {
        f[3] = QString::number(r.counts->recvFrame);
        f[4] = QString::number(r.counts->lossFrame);
        f[5] = QString::number(r.counts->errorFrame);
        f[6] = QString::number(r.counts->errorBit);
        f[7] = significant(r.rates.ber);
        f[8] = significant(r.rates.berLoss);
        f[9] = significant(r.rates.per);
        f[10] = significant(r.rates.perLoss);
        for (int i = 0; i < 4; ++i)
            f[11 + i] = r.rateTexts[size_t(i)];
    }
    f[15] = QString::number(r.run.bits);
    f[16] = QString::number(r.run.errorBits);
    if (r.run.bits > 0) {
        f[17] = significant(double(r.run.errorBits) / double(r.run.bits));
        f[18] = significant(r.run.berUpper);
    }
    f[19] = QString::number(r.run.frames);
    f[20] = QString::number(r.run.lostFrames);
    f[21] = QString::number(r.run.errorFrames);
    f[22] = r.detail;
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

QByteArray csvHeader()
{
    QByteArrayList names;
    for (const char* name : kColumns)
        names << name;
    return names.join(',') + '\n';
}

QByteArray formerCsvHeader()
{
    return "time,elapsed_s,event,recv_frames,loss_frames,error_frames,error_bits,ber,ber_loss,per,per_loss,"
           "ber_text,ber_loss_text,per_text,per_loss_text,run_bits,run_error_bits,run_ber,run_ber_upper,detail\n";
}

std::optional<QList<QByteArray>> csvFields(const QByteArray& line)
{
    QList<QByteArray> fields;
    if (!line.contains('"')) {
        fields = line.split(',');
        return fields;
    }
    fields << QByteArray();
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"')
            fields.last() += line[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            fields << QByteArray();
        else
            fields.last() += c;
    }
    if (quoted)
        return std::nullopt;
    return fields;
}

QByteArray restartedCsvLine(const QString& startedDetail, const QString& why, const QByteArray& next)
{
    const std::optional<QList<QByteArray>> f = csvFields(next.endsWith('\n') ? next.chopped(1) : next);
    if (!f || f->size() != kColumnCount)
        return {};
    Record started;
    started.time = QDateTime::fromString(QString::fromLatin1(f->at(0)), Qt::ISODateWithMs);
    started.elapsedSeconds = f->at(1).toDouble();
    started.event = QStringLiteral("started");
    const QString words = measurement::startedDetailWords(startedDetail);
    started.detail = words + QStringLiteral(", ") + why + startedDetail.mid(words.size());
    started.run = {.bits = f->at(15).toULongLong(),
                   .errorBits = f->at(16).toULongLong(),
                   .berUpper = f->at(18).toDouble(),
                   .frames = f->at(19).toULongLong(),
                   .lostFrames = f->at(20).toULongLong(),
                   .errorFrames = f->at(21).toULongLong()};
    return csvLine(started);
}

QByteArray csvLine(const Record& record)
{
    QStringList out;
    for (const QString& field : fields(record))
        out << csvField(field);
    return out.join(QLatin1Char(',')).toUtf8() + '\n';
}

QByteArray jsonLine(const Record& record)
{
    const auto f = fields(record);
    QString out = QStringLiteral("{");
    for (int i = 0; i < kColumnCount; ++i) {
        // An empty field is null, except the event and its detail, which are texts even when empty.
        const QString& field = f[size_t(i)];
        const QString value = field.isEmpty() && i != 2 && i != kColumnCount - 1 ? QStringLiteral("null")
                              : isText(i)                                        ? jsonString(field)
                                                                                 : field;
        out += (i ? QStringLiteral(",\"") : QStringLiteral("\"")) + QLatin1String(kColumns[i]) + QStringLiteral("\":")
               + value;
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

void describeReport(const measurement::ReportCounts& counts, Record& record)
{
    record.counts = counts;
    record.rates = measurement::computeRates(counts);
    DisplayTexts view;
    view.setDisplayText(StatusDisplay::RecvFrame, QString::number(counts.recvFrame));
    view.setDisplayText(StatusDisplay::LossFrame, QString::number(counts.lossFrame));
    view.setDisplayText(StatusDisplay::ErrorFrame, QString::number(counts.errorFrame));
    view.setDisplayText(StatusDisplay::ErrorBit, QString::number(counts.errorBit));
    measurement::applyRates(view);
    record.rateTexts = {view.displayText(StatusDisplay::Ber), view.displayText(StatusDisplay::BerLoss),
                        view.displayText(StatusDisplay::Per), view.displayText(StatusDisplay::PerLoss)};
}
