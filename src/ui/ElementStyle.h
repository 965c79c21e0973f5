#pragma once

#include "ui/ElementTable.h"

#include <QColor>
#include <QFont>

namespace ui {

// The window's Ming face, with substitutes that carry the same sizes and
// weights where it is not installed.
QFont elementFont(FontStyle style);

// The text colour of an element; an invalid colour for the standard one.
QColor elementColour(TextColour colour);

// A colour given as the window toolkit numbers it, &HBBGGRR.
QColor colourFromBgr(quint32 bgr);

} // namespace ui
