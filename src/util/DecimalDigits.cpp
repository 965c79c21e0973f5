#include "util/DecimalDigits.h"

#include <algorithm>
#include <charconv>

namespace util {

char* decimalDigits(double value, char format, int precision, char (&out)[kDecimalDigitsSize])
{
    char* const last = out + kDecimalDigitsSize;
    // One digit more than written: a 5 there may be a tie.
    const auto check = format == 'f' ? std::to_chars(out, last, value, std::chars_format::fixed, precision + 1)
                                     : std::to_chars(out, last, value, std::chars_format::scientific, precision);
    if (check.ec != std::errc() || *(std::find(out, check.ptr, 'e') - 1) == '5')
        return nullptr;
    const auto chars = format == 'f' ? std::chars_format::fixed : std::chars_format::general;
    const auto [end, error] = std::to_chars(out, last, value, chars, precision);
    return error == std::errc() ? end : nullptr;
}

} // namespace util
