// Arbitrary texts through the number conversions. The input is read three
// ways, as UTF-8, as Latin-1 and as raw UTF-16 code units, and each text goes
// through bin2dec, bin2hex and hex2dec; its first four bytes, little-endian,
// are the number given to dec2bin. An input that starts with "LONG" and one
// more byte k stands for the rest of the input repeated to 32,764 + k % 6
// characters, around the limit of 16-bit character positions; such a text goes
// through bin2dec and hex2dec, the two routines that count positions.
//
// std::overflow_error is the only failure the routines report; the harness
// checks that it comes exactly where it must, and aborts with a message when a
// result is wrong:
//  - bin2dec: no value for an empty text or one with a character other than 0
//    and 1; the exact integer for up to 53 digits; a value of the right binary
//    magnitude up to 1,023 digits; an overflow beyond 1,024 digits;
//  - bin2hex: one upper-case hexadecimal digit for each group of four
//    characters, the group's value or 0 for a group that is not binary;
//  - dec2bin: the binary digits of n for n >= 1, leaving n at 0, reading back
//    through bin2dec as n; the empty text for n <= 0, leaving n alone;
//  - hex2dec: the caller's text upper-cased, also when the call fails; a
//    non-negative value that an independent reading of the text agrees with,
//    or an overflow exactly where the value would pass 2,147,483,647.

#include "util/Conversions.h"

#include <QString>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

// Longest text whose character positions fit 16 bits to the end.
constexpr qsizetype kLongestText = 32766;

// The argument as printable ASCII: other code units as \uXXXX, long texts
// shortened to their first 80 code units and their length.
std::string printable(const QString& text)
{
    std::string shown;
    for (QChar c : text.left(80)) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F && u != u'\\' && u != u'"')
            shown += char(u);
        else
            shown += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0')).toStdString();
    }
    if (text.size() > 80)
        shown += "... (" + std::to_string(text.size()) + " characters)";
    return shown;
}

[[noreturn]] void violated(const std::string& routine, const QString& argument, const std::string& what)
{
    std::fprintf(stderr, "\n*** %s(\"%s\"): %s\n", routine.c_str(), printable(argument).c_str(), what.c_str());
    std::fflush(stderr);
    std::abort();
}

bool isBinary(const QString& text)
{
    for (QChar c : text)
        if (c != u'0' && c != u'1')
            return false;
    return true;
}

void checkBin2dec(const QString& text)
{
    const qsizetype length = text.size();
    const bool binary = isBinary(text);
    std::optional<double> value;
    try {
        value = util::bin2dec(text);
    } catch (const std::overflow_error& error) {
        // Beyond 16-bit positions, or a binary text beyond the double range
        // (1,024 digits overflow only when their sum rounds past it).
        const bool mayFail = length > kLongestText || (binary && length >= 1024);
        if (!mayFail)
            violated("bin2dec", text, std::string("overflow error for a text that fits: ") + error.what());
        return;
    }
    if (length > kLongestText + 1 || (binary && length > kLongestText))
        violated("bin2dec", text, "no overflow error for a text beyond 16-bit character positions");
    if (binary && length > 1024)
        violated("bin2dec", text, "no overflow error for more than 1024 binary digits");
    if (text.isEmpty() || !binary) {
        if (value)
            violated("bin2dec", text, "a value for a text that is not a binary number");
        return;
    }
    if (!value)
        violated("bin2dec", text, "no value for a binary number");
    if (length <= 53) {
        quint64 exact = 0;
        for (QChar c : text)
            exact = exact * 2 + (c == u'1' ? 1 : 0);
        if (*value != double(exact))
            violated("bin2dec", text, "gave " + std::to_string(*value) + ", not " + std::to_string(exact));
        return;
    }
    // Longer numbers are held to 53 significant bits: the value lies between
    // the weight of the leading 1 and twice that weight.
    const qsizetype firstOne = text.indexOf(u'1');
    if (firstOne < 0) {
        if (*value != 0.0)
            violated("bin2dec", text, "a non-zero value for zeros only");
        return;
    }
    const double weight = std::ldexp(1.0, int(length - 1 - firstOne));
    if (!(*value >= weight && *value <= 2 * weight))
        violated("bin2dec", text, "the value " + std::to_string(*value) + " is of the wrong magnitude");
}

void checkBin2hex(const QString& text)
{
    std::optional<QString> hex;
    try {
        hex = util::bin2hex(text);
    } catch (const std::overflow_error& error) {
        violated("bin2hex", text,
                 std::string("overflow error, though no group of four characters can overflow: ") + error.what());
    }
    if (text.isEmpty()) {
        if (hex)
            violated("bin2hex", text, "a value for the empty text");
        return;
    }
    if (!hex)
        violated("bin2hex", text, "no value for a text with characters");
    const qsizetype groups = (text.size() + 3) / 4;
    if (hex->size() != groups)
        violated("bin2hex", text,
                 std::to_string(hex->size()) + " digits for " + std::to_string(groups)
                     + " groups: " + hex->left(80).toStdString());
    for (qsizetype g = 0; g < groups; ++g) {
        const QString group = text.mid(4 * g, 4);
        int expected = 0;
        if (isBinary(group))
            for (QChar c : group)
                expected = expected * 2 + (c == u'1' ? 1 : 0);
        const QChar digit = u"0123456789ABCDEF"[expected];
        if (hex->at(g) != digit)
            violated("bin2hex", text,
                     "group " + std::to_string(g) + " \"" + group.toStdString() + "\" gave '"
                         + QString(hex->at(g)).toStdString() + "', not '" + QString(digit).toStdString() + "'");
    }
}

void checkDec2bin(qint32 n)
{
    const QString shown = QString::number(n);
    qint32 argument = n;
    const QString binary = util::dec2bin(argument);
    if (n <= 0) {
        if (!binary.isEmpty() || argument != n)
            violated("dec2bin", shown,
                     "gave \"" + binary.toStdString() + "\" and left n at " + std::to_string(argument));
        return;
    }
    if (argument != 0)
        violated("dec2bin", shown, "left n at " + std::to_string(argument) + ", not 0");
    if (binary != QString::number(n, 2))
        violated("dec2bin", shown, "gave \"" + binary.toStdString() + "\"");
    const std::optional<double> back = util::bin2dec(binary);
    if (!back || *back != double(n))
        violated("dec2bin", shown, "gave \"" + binary.toStdString() + "\", which bin2dec does not read back as n");
}

void checkHex2dec(const QString& text)
{
    QString upper = text;
    for (QChar& c : upper)
        c = c.toUpper();

    // The reading that hex2dec must give: every character one hexadecimal
    // place, non-digits counting as 0, an overflow when a place is added to a
    // value above 0x7FFFFFF.
    bool mustFail = text.size() > kLongestText;
    qint64 expected = 0;
    if (!mustFail) {
        for (QChar c : upper) {
            expected *= 16;
            if (expected > std::numeric_limits<qint32>::max()) {
                mustFail = true;
                break;
            }
            const char16_t u = c.unicode();
            if (u >= u'0' && u <= u'9')
                expected += u - u'0';
            else if (u >= u'A' && u <= u'F')
                expected += u - u'A' + 10;
        }
    }

    QString key = text;
    try {
        const qint32 value = util::hex2dec(key);
        if (mustFail)
            violated("hex2dec", text, "gave " + std::to_string(value) + " instead of an overflow error");
        if (value < 0)
            violated("hex2dec", text, "a negative value " + std::to_string(value));
        if (value != expected)
            violated("hex2dec", text, "gave " + std::to_string(value) + ", not " + std::to_string(expected));
    } catch (const std::overflow_error& error) {
        if (!mustFail)
            violated("hex2dec", text, std::string("overflow error for a value that fits: ") + error.what());
    }
    if (key.size() != text.size())
        violated("hex2dec", text, "changed the length of the caller's text");
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t was = text[i].unicode();
        if (was >= u'a' && was <= u'f' && key[i].unicode() != was - (u'a' - u'A'))
            violated("hex2dec", text, "left the letter at " + std::to_string(i + 1) + " in lower case");
    }
    if (key != upper)
        violated("hex2dec", text, "did not leave the caller's text upper-cased");
}

void checkText(const QString& text)
{
    checkBin2dec(text);
    checkBin2hex(text);
    checkHex2dec(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    const auto length = static_cast<qsizetype>(size);

    quint8 first[4] = {};
    if (size > 0)
        std::memcpy(first, data, qMin<size_t>(size, 4));
    checkDec2bin(static_cast<qint32>(quint32(first[0]) | quint32(first[1]) << 8 | quint32(first[2]) << 16
                                     | quint32(first[3]) << 24));

    if (size > 5 && std::memcmp(data, "LONG", 4) == 0) {
        const QString unit = QString::fromLatin1(bytes + 5, length - 5);
        const qsizetype target = kLongestText - 2 + data[4] % 6;
        QString text;
        text.reserve(target + unit.size());
        while (text.size() < target)
            text += unit;
        text.truncate(target);
        // Only these two count character positions.
        checkBin2dec(text);
        checkHex2dec(text);
        return 0;
    }

    checkText(QString::fromUtf8(bytes, length));
    checkText(QString::fromLatin1(bytes, length));
    // Raw code units, lone surrogates and all.
    QString units(length / 2, Qt::Uninitialized);
    if (!units.isEmpty())
        std::memcpy(units.data(), data, size_t(units.size()) * sizeof(QChar));
    checkText(units);
    return 0;
}
