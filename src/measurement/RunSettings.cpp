#include "measurement/RunSettings.h"

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <limits>

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

// Whole numbers in all their digits: ten significant ones would round a
// limit of many frames to another.
QString optionalWhole(bool present, quint64 value)
{
    return present ? QString::number(value) : QStringLiteral("none");
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
                        .arg(number(s.confidence));
    if (s.maxBer)
        words += QStringLiteral(", max BER %1").arg(number(*s.maxBer));
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
        {"operator", s.operatorName},
        {"procedure", s.procedure},
        {"customer", s.customer},
        {"note", s.note},
        {"baud", QString::number(s.baud)},
        {"counters", counterModelName(s.counters)},
        {"confidence", number(s.confidence)},
        {"max_ber", optionalNumber(bool(s.maxBer), s.maxBer.value_or(0))},
        {"max_lost_frames", optionalWhole(bool(s.maxLostFrames), s.maxLostFrames.value_or(0))},
        {"max_es", optionalWhole(bool(s.maxEs), quint64(s.maxEs.value_or(0)))},
        {"max_ses", optionalWhole(bool(s.maxSes), quint64(s.maxSes.value_or(0)))},
        {"max_unavailable", optionalWhole(bool(s.maxUnavailableSeconds), quint64(s.maxUnavailableSeconds.value_or(0)))},
        {"latency_ms", number(s.latencyMs)},
        {"max_silence_s", optionalNumber(bool(s.maxSilenceSeconds), s.maxSilenceSeconds.value_or(0))},
        {"duration", optionalNumber(s.durationSeconds > 0, s.durationSeconds)},
        {"bits", optionalNumber(s.stopBits > 0, s.stopBits)},
        {"reports", optionalWhole(s.stopReports > 0, quint64(s.stopReports))},
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

namespace {

// What the recorder's options allow for each setting it records. A value
// read back outside its range is no setting the recorder wrote, and taking
// it would give a verdict at an impossible confidence or a limit no count
// can hold.
struct SettingRange
{
    const char* key;
    double least, most;
    bool whole;
    bool endsIncluded; // else the value lies strictly between least and most
};

constexpr double kTenYearsSeconds = 10 * 365 * 86400.0; // the longest --duration
constexpr double kInt32Max = 2147483647.0;
// 2^63: a whole number is read as a qint64 first, so every one in range fits.
constexpr double kInt64Max = 9223372036854775807.0;

constexpr SettingRange kRanges[] = {
    {"baud", 1, 115200, true, true},
    {"confidence", 0, 1, false, false},
    {"max_ber", 0, 1, false, false},
    {"max_lost_frames", 0, kInt64Max, true, true},
    {"max_es", 0, kInt32Max, true, true},
    {"max_ses", 0, kInt32Max, true, true},
    {"max_unavailable", 0, kTenYearsSeconds, true, true},
    {"duration", 0.001, kTenYearsSeconds, false, true},
    {"bits", 1, std::numeric_limits<double>::max(), false, true},
    {"reports", 1, kInt64Max, true, true},
    {"latency_ms", 0, 1000, false, true},
    {"max_silence_s", 1, 86400, false, true},
};

const SettingRange& rangeOf(const char* key)
{
    for (const SettingRange& range : kRanges)
        if (qstrcmp(key, range.key) == 0)
            return range;
    Q_UNREACHABLE();
}

const SettingRange* rangeOf(const QString& key)
{
    for (const SettingRange& range : kRanges)
        if (key == QLatin1String(range.key))
            return &range;
    return nullptr;
}

QString rangeText(const SettingRange& range)
{
    const QString most = range.most == kInt64Max ? QStringLiteral("9223372036854775807") : number(range.most);
    if (!range.endsIncluded)
        return QStringLiteral("a number above %1 and below %2").arg(number(range.least), most);
    return QStringLiteral("a %1 from %2 to %3").arg(range.whole ? "whole number" : "number", number(range.least), most);
}

// A whole number, as "12" or as a double that holds one exactly ("1e+06");
// nothing when it is neither or does not fit a qint64.
std::optional<qint64> wholeIn(const QString& text)
{
    bool ok = false;
    const qint64 whole = text.toLongLong(&ok);
    if (ok)
        return whole;
    const double figure = text.toDouble(&ok);
    if (!ok || figure != std::floor(figure) || !(figure >= -kInt64Max && figure < kInt64Max))
        return std::nullopt;
    return qint64(figure);
}

// A setting's value: whole numbers exactly, and every one as a double too.
struct Checked
{
    double figure = 0;
    qint64 whole = 0;
};

// `text` as the setting `range` allows it; nothing when it is not a number
// in its range, which `why` then says.
std::optional<Checked> checkedValue(const QString& text, const SettingRange& range, QString& why)
{
    Checked value;
    bool ok = false;
    if (range.whole) {
        const std::optional<qint64> whole = wholeIn(text);
        ok = whole.has_value();
        value = {double(whole.value_or(0)), whole.value_or(0)};
    } else {
        value.figure = text.toDouble(&ok);
    }
    const double f = value.figure;
    if (ok && std::isfinite(f)
        && (range.endsIncluded ? f >= range.least && f <= range.most : f > range.least && f < range.most))
        return value;
    why = QStringLiteral("%1 '%2' is not %3").arg(QLatin1String(range.key), text.left(40), rangeText(range));
    return std::nullopt;
}

} // namespace

namespace {

// The leading words, all that older recordings hold, for the settings the
// pairs do not give. A word out of range is left out, with a warning: it
// was written for people to read.
void readLeadingWords(const QString& words, const QList<std::pair<QString, QString>>& pairs, StartedSettings& read)
{
    RunSettings& s = read.settings;
    const auto inPairs = [&pairs](const char* key) {
        return std::any_of(pairs.begin(), pairs.end(), [key](const auto& pair) { return pair.first == key; });
    };
    s.device = words.section(QStringLiteral(", "), 0, 0);
    static const QRegularExpression baud(QStringLiteral("(\\d+) baud"));
    static const QRegularExpression counters(QStringLiteral("counters (\\w+)"));
    static const QRegularExpression confidence(QStringLiteral("confidence ([0-9.eE+-]+)"));
    static const QRegularExpression maxBer(QStringLiteral("max BER ([0-9.eE+-]+)"));
    const auto word = [&](const QRegularExpression& pattern, const char* key) -> std::optional<Checked> {
        const QRegularExpressionMatch m = pattern.match(words);
        if (!m.hasMatch() || inPairs(key))
            return std::nullopt;
        QString why;
        const std::optional<Checked> value = checkedValue(m.captured(1), rangeOf(key), why);
        if (!value)
            read.warnings << QStringLiteral("'started' row: %1; that setting is left out").arg(why);
        return value;
    };
    if (const std::optional<Checked> value = word(baud, "baud"))
        s.baud = int(value->whole);
    if (const std::optional<Checked> value = word(confidence, "confidence"))
        s.confidence = value->figure;
    if (const std::optional<Checked> value = word(maxBer, "max_ber"))
        s.maxBer = value->figure;
    if (const auto m = counters.match(words); m.hasMatch() && !inPairs("counters")) {
        if (const std::optional<CounterModel> model = counterModelFromName(m.captured(1)))
            s.counters = *model;
        else
            read.warnings << QStringLiteral("'started' row: counters '%1' is neither restart nor wrap; that setting "
                                            "is left out")
                                 .arg(m.captured(1).left(40));
    }
}

// One of the pairs, which this version writes for programs to read: a value
// out of range makes the row bad. Returns the error, if any.
QString readPair(const QString& key, const QString& value, RunSettings& s)
{
    static const std::pair<const char*, QString RunSettings::*> kTexts[] = {
        {"device", &RunSettings::device},       {"unit", &RunSettings::unit},
        {"operator", &RunSettings::operatorName}, {"procedure", &RunSettings::procedure},
        {"customer", &RunSettings::customer},   {"note", &RunSettings::note},
        {"version", &RunSettings::version},
    };
    for (const auto& [name, member] : kTexts)
        if (key == QLatin1String(name))
            s.*member = value;
    if (key == QLatin1String("counters")) {
        const std::optional<CounterModel> model = counterModelFromName(value);
        if (!model)
            return QStringLiteral("bad 'started' row: counters '%1' is neither restart nor wrap").arg(value.left(40));
        s.counters = *model;
    }
    const SettingRange* range = rangeOf(key);
    if (!range || value == QLatin1String("none"))
        return {}; // a setting this version does not know, or one not given
    QString why;
    const std::optional<Checked> checked = checkedValue(value, *range, why);
    if (!checked)
        return QStringLiteral("bad 'started' row: ") + why;
    // Whole settings from the exact whole number, in a type that holds its range.
    if (key == QLatin1String("baud"))
        s.baud = int(checked->whole);
    else if (key == QLatin1String("confidence"))
        s.confidence = checked->figure;
    else if (key == QLatin1String("max_ber"))
        s.maxBer = checked->figure;
    else if (key == QLatin1String("max_lost_frames"))
        s.maxLostFrames = quint64(checked->whole);
    else if (key == QLatin1String("max_es"))
        s.maxEs = checked->whole;
    else if (key == QLatin1String("max_ses"))
        s.maxSes = checked->whole;
    else if (key == QLatin1String("max_unavailable"))
        s.maxUnavailableSeconds = checked->whole;
    else if (key == QLatin1String("latency_ms"))
        s.latencyMs = checked->figure;
    else if (key == QLatin1String("max_silence_s"))
        s.maxSilenceSeconds = checked->figure;
    else if (key == QLatin1String("duration"))
        s.durationSeconds = checked->figure;
    else if (key == QLatin1String("bits"))
        s.stopBits = checked->figure;
    else if (key == QLatin1String("reports"))
        s.stopReports = checked->whole;
    return {};
}

} // namespace

StartedSettings readStartedDetail(const QString& detail)
{
    StartedSettings read;
    const QList<std::pair<QString, QString>> pairs = startedDetailPairs(detail);
    readLeadingWords(startedDetailWords(detail), pairs, read);
    for (const auto& [key, value] : pairs) {
        read.error = readPair(key, value, read.settings);
        if (!read.error.isEmpty())
            return read;
    }
    return read;
}

RunSettings settingsFromStartedDetail(const QString& detail)
{
    return readStartedDetail(detail).settings;
}

} // namespace measurement
