#include "measurement/RunSettings.h"

#include <QRegularExpression>
#include <QUrl>

namespace measurement {

namespace {

// Separates the leading words from the pairs.
const QString kPairsMark = QStringLiteral("; ");

QString number(double value)
{
    return QString::number(value, 'g', 10);
}

QString optionalNumber(bool present, double value)
{
    return present ? number(value) : QStringLiteral("none");
}

} // namespace

QString programVersion()
{
    return QStringLiteral(BERMON_VERSION);
}

QString keyValueText(const QList<std::pair<QString, QString>>& pairs)
{
    QStringList out;
    for (const auto& [key, value] : pairs)
        out << key + QLatin1Char('=') + QString::fromLatin1(QUrl::toPercentEncoding(value, "/:.,+-_~@()[]"));
    return out.join(QLatin1Char(' '));
}

QList<std::pair<QString, QString>> keyValuePairs(const QString& text)
{
    QList<std::pair<QString, QString>> pairs;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype equals = word.indexOf(QLatin1Char('='));
        if (equals > 0)
            pairs.append({word.left(equals), QUrl::fromPercentEncoding(word.mid(equals + 1).toLatin1())});
    }
    return pairs;
}

QString startedDetail(const RunSettings& s)
{
    QString words = QStringLiteral("%1, %2 baud, counters %3, confidence %4")
                        .arg(s.device)
                        .arg(s.baud)
                        .arg(counterModelName(s.counters))
                        .arg(s.confidence);
    if (s.maxBer)
        words += QStringLiteral(", max BER %1").arg(*s.maxBer);
    if (s.maxLostFrames)
        words += QStringLiteral(", max lost frames %1").arg(*s.maxLostFrames);
    if (s.maxEs)
        words += QStringLiteral(", max ES %1").arg(*s.maxEs);
    if (s.maxSes)
        words += QStringLiteral(", max SES %1").arg(*s.maxSes);
    if (s.maxUnavailableSeconds)
        words += QStringLiteral(", max unavailable %1 s").arg(*s.maxUnavailableSeconds);
    const QList<std::pair<QString, QString>> pairs{
        {"device", s.device},
        {"unit", s.unit},
        {"baud", QString::number(s.baud)},
        {"counters", counterModelName(s.counters)},
        {"confidence", number(s.confidence)},
        {"max_ber", optionalNumber(bool(s.maxBer), s.maxBer.value_or(0))},
        {"max_lost_frames", optionalNumber(bool(s.maxLostFrames), double(s.maxLostFrames.value_or(0)))},
        {"max_es", optionalNumber(bool(s.maxEs), double(s.maxEs.value_or(0)))},
        {"max_ses", optionalNumber(bool(s.maxSes), double(s.maxSes.value_or(0)))},
        {"max_unavailable", optionalNumber(bool(s.maxUnavailableSeconds), double(s.maxUnavailableSeconds.value_or(0)))},
        {"duration", optionalNumber(s.durationSeconds > 0, s.durationSeconds)},
        {"bits", optionalNumber(s.stopBits > 0, s.stopBits)},
        {"reports", optionalNumber(s.stopReports > 0, double(s.stopReports))},
        {"version", s.version},
    };
    return words + kPairsMark + keyValueText(pairs);
}

QString startedDetailWords(const QString& detail)
{
    const qsizetype mark = detail.indexOf(kPairsMark);
    return mark < 0 ? detail : detail.left(mark);
}

QList<std::pair<QString, QString>> startedDetailPairs(const QString& detail)
{
    const qsizetype mark = detail.indexOf(kPairsMark);
    return mark < 0 ? QList<std::pair<QString, QString>>{} : keyValuePairs(detail.mid(mark + kPairsMark.size()));
}

RunSettings settingsFromStartedDetail(const QString& detail)
{
    RunSettings s;
    const QString words = startedDetailWords(detail);
    // The leading words, all that older recordings hold.
    s.device = words.section(QStringLiteral(", "), 0, 0);
    static const QRegularExpression baud(QStringLiteral("(\\d+) baud"));
    static const QRegularExpression counters(QStringLiteral("counters (\\w+)"));
    static const QRegularExpression confidence(QStringLiteral("confidence ([0-9.]+)"));
    static const QRegularExpression maxBer(QStringLiteral("max BER ([0-9.eE+-]+)"));
    if (const auto m = baud.match(words); m.hasMatch())
        s.baud = m.captured(1).toInt();
    if (const auto m = counters.match(words); m.hasMatch())
        s.counters = counterModelFromName(m.captured(1)).value_or(CounterModel::Restart);
    if (const auto m = confidence.match(words); m.hasMatch())
        s.confidence = m.captured(1).toDouble();
    if (const auto m = maxBer.match(words); m.hasMatch())
        s.maxBer = m.captured(1).toDouble();
    for (const auto& [key, value] : startedDetailPairs(detail)) {
        bool ok = false;
        const double figure = value.toDouble(&ok);
        if (key == QLatin1String("device"))
            s.device = value;
        else if (key == QLatin1String("unit"))
            s.unit = value;
        else if (key == QLatin1String("version"))
            s.version = value;
        else if (key == QLatin1String("counters"))
            s.counters = counterModelFromName(value).value_or(s.counters);
        else if (!ok)
            continue; // "none", or a setting this version does not know
        else if (key == QLatin1String("baud"))
            s.baud = int(figure);
        else if (key == QLatin1String("confidence") && figure > 0 && figure < 1)
            s.confidence = figure;
        else if (key == QLatin1String("max_ber") && figure > 0 && figure < 1)
            s.maxBer = figure;
        else if (key == QLatin1String("max_lost_frames") && figure >= 0)
            s.maxLostFrames = quint64(figure);
        else if (key == QLatin1String("max_es") && figure >= 0)
            s.maxEs = qint64(figure);
        else if (key == QLatin1String("max_ses") && figure >= 0)
            s.maxSes = qint64(figure);
        else if (key == QLatin1String("max_unavailable") && figure >= 0)
            s.maxUnavailableSeconds = qint64(figure);
        else if (key == QLatin1String("duration"))
            s.durationSeconds = figure;
        else if (key == QLatin1String("bits"))
            s.stopBits = figure;
        else if (key == QLatin1String("reports"))
            s.stopReports = qint64(figure);
    }
    return s;
}

} // namespace measurement
