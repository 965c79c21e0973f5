#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// Conversions between binary, decimal and hexadecimal digit texts, most
// significant digit first. Arguments are taken by reference on purpose: a
// routine that changes its argument changes the caller's variable. Failures
// reach the caller as std::overflow_error; nothing is handled here.
//
// Characters are UTF-16 code units, as QString counts them. Character
// positions in hex2dec and bin2dec are 16-bit signed numbers: a text of more
// than 32,767 characters fails before its first character is read, and one of
// exactly 32,767 fails once its last character has been read, when the
// position steps past 32,767. So 32,766 characters is the longest text that
// can be read to the end.
namespace util {

// Hexadecimal digit text of a binary digit text, one digit for each group of
// four characters from the left; the last group may be shorter and is read
// as a number of its own ("101" gives "5"). A group holding anything other
// than "0" and "1" gives "0". No value for an empty key.
std::optional<QString> bin2hex(const QString& key);

// Value of a binary digit text in double precision, held to 53 significant
// bits. No value for an empty key or one holding anything other than "0" and
// "1". Throws std::overflow_error for a key beyond the double range (more
// than 1,024 digits, or a sum above the largest double).
std::optional<double> bin2dec(const QString& key);

// Binary digit text of n without leading zeros; empty for n <= 0. n is the
// running remainder: it holds 0 afterwards for any n >= 1.
QString dec2bin(qint32& n);

// Value of a hexadecimal digit text. hexkey is replaced by its upper-case
// form, also when the call fails. Every character moves the value up one
// hexadecimal place and a character that is not a digit counts as 0, so
// "0x1F" gives 31 and "1 2" gives 0x102. Throws std::overflow_error when the
// value passes 2,147,483,647.
qint32 hex2dec(QString& hexkey);

} // namespace util
