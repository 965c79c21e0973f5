#include "measurement/Rates.h"

#include "util/DecimalDigits.h"
#include "util/RunGuarded.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace measurement {

using util::runGuarded;

namespace {

const QString kZeroRate = QStringLiteral("0.0 E+0");
const QString kUnitRate = QStringLiteral("1.0 E+0");

// A count read back from its display; the displays hold plain decimal digits.
quint64 countIn(const StatusView& view, StatusDisplay display)
{
    const QString text = view.displayText(display);
    bool ok = false;
    const quint64 count = text.toULongLong(&ok, 10);
    if (!ok)
        throw std::invalid_argument("count display does not hold a count: " + text.toStdString());
    return count;
}

float asFloat(quint64 count)
{
    return static_cast<float>(count);
}

// Frame count times bits per frame, formed exactly and then rounded once.
float frameBitsAsFloat(quint64 frames)
{
    return static_cast<float>(frames * kBitsPerFrame);
}

// A rate whose denominator is 0, nothing received, is not available: NaN,
// found without dividing, so that a division by zero is always a fault.
float ratio(float part, float whole)
{
    return whole == 0.0f ? std::numeric_limits<float>::quiet_NaN() : part / whole;
}

// Whether the default locale writes a decimal number as C does but for its
// decimal point, looked up once per locale: the texts are made at every report.
struct PlainDecimals
{
    QLocale locale = QLocale::c();
    bool plain = true;
    QChar point = QLatin1Char('.');
};

const PlainDecimals& plainDecimals()
{
    thread_local PlainDecimals cached;
    const QLocale current;
    if (!(cached.locale == current)) {
        const QString point = current.decimalPoint();
        cached.locale = current;
        cached.plain = current.zeroDigit() == QLatin1String("0") && point.size() == 1
                       && !(current.numberOptions() & QLocale::IncludeTrailingZeroesAfterDot);
        cached.point = cached.plain ? point.front() : QLatin1Char('.');
    }
    return cached;
}

// `value` as QLocale().toString(value, format, precision) writes it without
// group separators, cut to its first `keep` characters and followed by
// `suffix`, in one text; or nothing where that takes the locale itself:
// digits of another script, or a tie, which std::to_chars rounds to even and
// Qt away from zero. Callers keep to values that Qt writes without an exponent.
std::optional<QString> plainDecimal(double value, char format, int precision, qsizetype keep = -1,
                                    std::string_view suffix = {})
{
    const PlainDecimals& decimals = plainDecimals();
    if (!decimals.plain || std::signbit(value))
        return std::nullopt;
    char digits[util::kDecimalDigitsSize];
    const char* end = util::decimalDigits(value, format, precision, digits);
    if (!end)
        return std::nullopt;
    const qsizetype length = keep < 0 ? end - digits : std::min<qsizetype>(keep, end - digits);
    QString text(length + qsizetype(suffix.size()), Qt::Uninitialized);
    QChar* out = std::transform(static_cast<const char*>(digits), static_cast<const char*>(digits) + length,
                                text.begin(),
                                [&](char c) { return c == '.' ? decimals.point : QChar(QLatin1Char(c)); });
    std::transform(suffix.begin(), suffix.end(), out, [](char c) { return QChar(QLatin1Char(c)); });
    return text;
}

} // namespace

// BER without sync loss: bit errors over the bits of the received frames.
float berWithoutLoss(quint64 errorBit, quint64 recvFrame)
{
    return ratio(asFloat(errorBit), frameBitsAsFloat(recvFrame));
}

// BER with sync loss: every bit of a lost frame counts as an error.
float berWithLoss(quint64 errorBit, quint64 recvFrame, quint64 lossFrame)
{
    const float errors = frameBitsAsFloat(lossFrame) + asFloat(errorBit);
    const float bits = frameBitsAsFloat(recvFrame) + frameBitsAsFloat(lossFrame);
    return ratio(errors, bits);
}

// PER without sync loss: errored frames over received frames.
float perWithoutLoss(quint64 errorFrame, quint64 recvFrame)
{
    return ratio(asFloat(errorFrame), asFloat(recvFrame));
}

// PER with sync loss: lost frames count as errored frames.
float perWithLoss(quint64 errorFrame, quint64 recvFrame, quint64 lossFrame)
{
    const float errored = asFloat(lossFrame) + asFloat(errorFrame);
    const float frames = asFloat(recvFrame) + asFloat(lossFrame);
    return ratio(errored, frames);
}

RateValues computeRates(const ReportCounts& c)
{
    return {berWithoutLoss(c.errorBit, c.recvFrame), berWithLoss(c.errorBit, c.recvFrame, c.lossFrame),
            perWithoutLoss(c.errorFrame, c.recvFrame), perWithLoss(c.errorFrame, c.recvFrame, c.lossFrame)};
}

std::array<QString, 4> rateTexts(const ReportCounts& counts)
{
    const RateValues rates = computeRates(counts);
    return {formatBer(rates.ber), formatBer(rates.berLoss), percentText(rates.per), percentText(rates.perLoss)};
}

QString formatBer(double a)
{
    if (!std::isfinite(a))
        return kNotAvailable;
    if (a == 0)
        return kZeroRate;
    if (a == 1)
        return kUnitRate;
    if (a < 0)
        return {};

    float m = static_cast<float>(a);
    if (m == 0.0f) // below the smallest single-precision value: zero there
        return kZeroRate;
    if (!std::isfinite(m))
        return kNotAvailable;
    qint16 n = 0;
    do {
        m = m * 10.0f;
        ++n;
    } while (!(m > 1.0f));

    // Below 1e6 the mantissa has no exponent of its own.
    char exponent[8] = " E-";
    const std::string_view suffix(exponent, size_t(std::to_chars(exponent + 3, std::end(exponent), n).ptr - exponent));
    if (std::optional<QString> text = m < 1e6f ? plainDecimal(double(m), 'g', 7, 5, suffix) : std::nullopt)
        return *std::move(text);
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale.toString(static_cast<double>(m), 'g', 7).left(5) + QLatin1String(suffix.data(), qsizetype(suffix.size()));
}

QString percentText(float rate)
{
    if (!std::isfinite(rate))
        return kNotAvailable;
    const double percent = static_cast<double>(rate) * 100.0;
    // Below 1000 there are no groups of digits to separate.
    if (std::optional<QString> plain = percent < 1000 ? plainDecimal(percent, 'f', 2, -1, "%") : std::nullopt)
        return *std::move(plain);
    return QLocale().toString(percent, 'f', 2) + QLatin1Char('%');
}

void applyRates(StatusView& view)
{
    using D = StatusDisplay;
    float rate = 0.0f;
    // Each rate reads its counts afresh: a count display that holds no count
    // fails only the rates that need it.
    auto count = [&view](D display) { return countIn(view, display); };

    runGuarded([&] { rate = berWithoutLoss(count(D::ErrorBit), count(D::RecvFrame)); });
    runGuarded([&] { view.setDisplayText(D::Ber, formatBer(rate)); });

    runGuarded([&] { rate = berWithLoss(count(D::ErrorBit), count(D::RecvFrame), count(D::LossFrame)); });
    runGuarded([&] { view.setDisplayText(D::BerLoss, formatBer(rate)); });

    runGuarded([&] { rate = perWithoutLoss(count(D::ErrorFrame), count(D::RecvFrame)); });
    runGuarded([&] { view.setDisplayText(D::Per, percentText(rate)); });

    runGuarded([&] { rate = perWithLoss(count(D::ErrorFrame), count(D::RecvFrame), count(D::LossFrame)); });
    runGuarded([&] { view.setDisplayText(D::PerLoss, percentText(rate)); });
}

void resetStatus(StatusView& view)
{
    using D = StatusDisplay;
    const QString zeroCount = QString::number(0);
    for (D count : {D::RecvFrame, D::LossFrame, D::ErrorFrame, D::ErrorBit})
        view.setDisplayText(count, zeroCount);
    for (D rate : {D::Ber, D::BerLoss, D::Per, D::PerLoss})
        view.setDisplayText(rate, kZeroRate);
}

} // namespace measurement
