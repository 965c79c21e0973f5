#pragma once

// Decimal texts of numbers written without Qt's formatting, for the texts
// made at every report: the same digits QString::number writes, or none where
// they might differ.
namespace util {

// Room for any text decimalDigits() writes.
constexpr int kDecimalDigitsSize = 64;

// `value` into `out`, as QString::number(value, format, precision) writes it:
// `format` 'f' with `precision` decimals, 'g' with `precision` significant
// digits. Returns the end of the text, or nullptr where Qt must write the
// value itself: a possible tie (Qt rounds ties away from zero), a sign, a
// value that is not finite, or more digits than a double holds for sure.
char* decimalDigits(double value, char format, int precision, char (&out)[kDecimalDigitsSize]);

} // namespace util
