#pragma once

#include <QIcon>

namespace ui {

// The window's own 32 x 32 icon: a bit stream with one bit in error.
QIcon windowIcon();

} // namespace ui
