#include "util/Conversions.h"

#include <QtNumeric>

#include <cmath>
#include <stdexcept>
#include <string>

namespace util {

namespace {

// Highest 16-bit signed character position.
constexpr qsizetype kLastPosition = 32767;

// A loop over positions 1 .. length cannot start when length does not fit a
// 16-bit position, and after the last character of a text of exactly 32,767
// characters the position steps to 32,768. Both are overflows.
std::overflow_error positionOverflow(const char* routine, qsizetype length)
{
    return std::overflow_error(std::string(routine) + ": a text of " + std::to_string(length)
                               + " characters exceeds the 16-bit character positions"
                                 " (at most 32766 characters)");
}

} // namespace

std::optional<QString> bin2hex(const QString& key)
{
    if (key.isEmpty())
        return std::nullopt;

    // Groups 0 .. ceil(L/4) - 1: each character belongs to exactly one group,
    // and no group past the end of the key is converted.
    const qsizetype groupCount = (key.size() + 3) / 4;
    QString hex;
    hex.reserve(groupCount);
    for (qsizetype g = 0; g < groupCount; ++g) {
        // A failure of bin2dec ends the conversion and reaches the caller.
        const std::optional<double> value = bin2dec(key.mid(4 * g, 4));
        const qint16 groupValue = value ? static_cast<qint16>(*value) : qint16(0);
        hex += QString::number(groupValue, 16).toUpper();
    }
    return hex;
}

std::optional<double> bin2dec(const QString& key)
{
    const qsizetype length = key.size();
    if (length > kLastPosition)
        throw positionOverflow("bin2dec", length);
    for (const QChar c : key) {
        if (c != u'0' && c != u'1')
            return std::nullopt;
    }
    // Reached only when every character was a digit; a key with another
    // character returned above, before its position could step past 32,767.
    if (length == kLastPosition)
        throw positionOverflow("bin2dec", length);

    std::optional<double> sum;
    for (qsizetype i = 1; i <= length; ++i) {
        // The weight is formed for "0" digits too, so 1,025 zeros overflow
        // just as 1,025 ones do.
        const double weight = std::ldexp(1.0, static_cast<int>(length - i));
        if (std::isinf(weight))
            throw std::overflow_error("bin2dec: a key of " + std::to_string(length)
                                      + " digits exceeds the double range (at most 1024 digits)");
        const double digit = key[i - 1] == u'1' ? 1.0 : 0.0;
        sum = sum.value_or(0.0) + digit * weight;
        if (std::isinf(*sum))
            throw std::overflow_error("bin2dec: the value exceeds the largest double");
    }
    return sum;
}

QString dec2bin(qint32& n)
{
    int digitCount = 0;
    while (std::ldexp(1.0, digitCount) <= n)
        ++digitCount;

    QString text;
    text.reserve(digitCount);
    for (int k = digitCount - 1; k >= 0; --k) {
        const double weight = std::ldexp(1.0, k);
        if (weight > n) {
            text += u'0';
        } else {
            text += u'1';
            n = static_cast<qint32>(n - weight);
        }
    }
    return text;
}

qint32 hex2dec(QString& hexkey)
{
    // Upper-cased one code unit at a time: a full case mapping would turn
    // "ß" into "SS" and move every later digit up a place.
    for (QChar& c : hexkey)
        c = c.toUpper();

    const qsizetype length = hexkey.size();
    if (length > kLastPosition)
        throw positionOverflow("hex2dec", length);

    qint32 value = 0;
    for (qsizetype i = 0; i < length; ++i) {
        qint32 shifted = 0;
        if (qMulOverflow(value, qint32(16), &shifted))
            throw std::overflow_error("hex2dec: the value exceeds 2147483647 at character " + std::to_string(i + 1));
        // shifted is a multiple of 16 no higher than 2147483632, so adding a
        // digit cannot overflow.
        value = shifted;
        const char16_t code = hexkey[i].unicode();
        if (code >= u'0' && code <= u'9')
            value += code - u'0';
        else if (code >= u'A' && code <= u'F')
            value += code - u'A' + 10;
    }
    if (length == kLastPosition)
        throw positionOverflow("hex2dec", length);
    return value;
}

} // namespace util
