#pragma once

#include <QString>
#include <QtGlobal>

namespace ui {

// "3.4 E7", "8.9 E-8": two significant digits for texts people read.
QString shortScientific(double value);

// What hovering the BER display tells: "below 8.9 E-8 at 95 % confidence
// (0 errors in 3.4 E7 bits)", or why there is no bound yet.
QString berBoundText(quint64 errors, quint64 bits, double confidence);

// Why the BER with sync loss has no bound.
QString noBoundWithLossText();

} // namespace ui
