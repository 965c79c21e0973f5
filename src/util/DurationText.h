#pragma once

#include <QString>

namespace util {

// "8h", "90m", "1h30m", "45s", "500ms", or a bare number of seconds; -1 when
// the text is none of these or not above zero.
qint64 parseDurationMs(const QString& text);
// A time in whole seconds, 0 included, such as 0, 30s or 2m; -1 when it is not one.
qint64 parseWholeSeconds(const QString& text);

} // namespace util
