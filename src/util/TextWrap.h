#pragma once

#include <QString>

namespace util {

// Fills paragraphs to `width` columns: paragraphs are separated by a blank
// line, the line breaks inside one are taken as blanks, and every line of the
// result is indented by `indent` blanks. A word longer than a line stands on
// a line of its own. For help texts that must fit a terminal of 80 columns.
QString wrapText(const QString& paragraphs, int width = 80, int indent = 0);

} // namespace util
