#include "util/DecimalDigits.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace util {

namespace {

// Digits of a positive value whose first digit stands for 10^exponent.
struct Digits
{
    char digits[20];
    int count = 0;
    int exponent = 0;
};

// The shortest digits that read back as `value`: the quick path of
// std::to_chars, several times cheaper than writing to a precision.
bool shortestDigits(double value, Digits& d)
{
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
    if (error != std::errc())
        return false;
    const char* e = std::find(text, end, 'e');
    for (const char* c = text; c != e; ++c) {
        if (*c != '.')
            d.digits[d.count++] = *c;
    }
    // The exponent: a sign, then two digits or more.
    const bool negative = e[1] == '-';
    return std::from_chars(e + 2, end, d.exponent).ec == std::errc() && ((d.exponent *= negative ? -1 : 1), true);
}

// Rounds `d` to its first `keep` digits, as the value itself rounds: the
// shortest digits lie on the value's side of every shorter number, so of each
// place where the rounding could turn. Only where they end in a 5 just past
// the kept ones may the value be that tie itself. False there, and where the
// kept digits reach further than the shortest ones can tell apart.
bool roundTo(Digits& d, int keep)
{
    if (d.count <= keep)
        return keep <= 15; // a double's own digits are sure to 15 places, not to 16
    if (keep < 0) {
        d.count = 0; // less than a tenth of the last place kept
        return true;
    }
    const char next = d.digits[keep];
    if (next == '5' && d.count == keep + 1)
        return false;
    d.count = keep;
    if (next < '5')
        return true;
    int at = keep - 1;
    for (; at >= 0 && d.digits[at] == '9'; --at)
        --d.count; // nines carried over: dropped, as trailing zeros
    if (at >= 0) {
        ++d.digits[at];
    } else {
        d.digits[0] = '1';
        d.count = 1;
        ++d.exponent;
    }
    return true;
}

char* zeros(char* at, int n)
{
    return std::fill_n(at, std::max(n, 0), '0');
}

// The digits as a number without an exponent and `decimals` decimals at least.
char* plainNumber(const Digits& d, int decimals, char* at)
{
    if (d.exponent < 0) {
        *at++ = '0';
    } else {
        const int whole = std::min(d.count, d.exponent + 1);
        at = zeros(std::copy_n(d.digits, whole, at), d.exponent + 1 - whole);
    }
    const int first = d.exponent + 1; // index of the first decimal's digit
    const int written = std::max(d.count - std::max(first, 0), 0);
    const int places = std::max(decimals, -first + d.count);
    if (places <= 0)
        return at;
    *at++ = '.';
    char* fraction = zeros(at, std::min(-first, places));
    fraction = std::copy_n(d.digits + std::max(first, 0), written, fraction);
    return zeros(fraction, places - int(fraction - at));
}

// As printf's %g: the digits (no trailing zeros) with an exponent of at least
// two digits where it lies outside -4 to `precision` - 1.
char* generalNumber(Digits d, int precision, char* at)
{
    while (d.count > 1 && d.digits[d.count - 1] == '0')
        --d.count;
    if (d.exponent >= -4 && d.exponent < precision)
        return plainNumber(d, 0, at);
    *at++ = d.digits[0];
    if (d.count > 1) {
        *at++ = '.';
        at = std::copy_n(d.digits + 1, d.count - 1, at);
    }
    *at++ = 'e';
    *at++ = d.exponent < 0 ? '-' : '+';
    const int magnitude = std::abs(d.exponent);
    if (magnitude < 10)
        *at++ = '0';
    return std::to_chars(at, at + 4, magnitude).ptr;
}

} // namespace

char* decimalDigits(double value, char format, int precision, char (&out)[kDecimalDigitsSize])
{
    // Signs, infinities, NaN and the subnormals, whose digits are fewer: Qt's
    // own writing, which few rows need.
    if (precision < 0 || precision > 20 || std::signbit(value) || !(std::isnormal(value) || value == 0))
        return nullptr;
    const bool fixed = format == 'f';
    constexpr Digits kZero{{'0'}, 1, 0};
    Digits d;
    if (value == 0) {
        d = kZero;
    } else {
        if (!shortestDigits(value, d) || !roundTo(d, fixed ? d.exponent + 1 + precision : std::max(precision, 1)))
            return nullptr;
        if (d.count == 0)
            d = kZero; // rounded away to nothing
    }
    // The longest text: a point, decimals and the whole digits, or 24 characters of %g.
    if (fixed && std::max(d.exponent, 0) + precision + 3 > kDecimalDigitsSize)
        return nullptr;
    return fixed ? plainNumber(d, precision, out) : generalNumber(d, precision, out);
}

} // namespace util
