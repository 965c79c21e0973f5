#include "ui/ElementTable.h"

#include <array>

namespace ui {

namespace {

using K = ElementKind;
using C = TextColour;
using F = FontStyle;

// clang-format off
constexpr std::array kElements = {
//  name                   kind            container              text                               left  top   width height tab colour       font        shown
    ElementRow{"Frame_Status",        K::GroupBox,     "Form1",               "Status",                          120,  120, 4455, 3615,  6, C::Standard, F::Bold975, true},
    ElementRow{"Frame_ComPortSelect", K::GroupBox,     "Form1",               "ComPort  Select",                 4700, 120, 2000, 1215,  0, C::Standard, F::Bold9,   true},
    ElementRow{"Frame_BaudRate",      K::GroupBox,     "Form1",               "Baud Rate",                       4700, 1440, 2000, 855, 26, C::Standard, F::Bold975, true},
    ElementRow{"FrameButton",         K::GroupBox,     "Form1",               nullptr,                           4680, 2280, 2000, 1455, 3, C::Standard, F::Window,  true},
    ElementRow{"Combo_CommPort",      K::List,         "Frame_ComPortSelect", "Combo1",                          120,  360, 1575,  315, 19, C::Standard, F::Window,  true},
    // Wider than designed (1335), up to the list's right edge: the substitute faces need the room for "No Connecting.....".
    ElementRow{"Label_ComPortStatus", K::Caption,      "Frame_ComPortSelect", "Stauts",                          120,  840, 1815,  255,  1, C::DarkGrey, F::Normal9, true},
    ElementRow{"Combo_BaudRate",      K::List,         "Frame_BaudRate",      "Combo1",                          120,  360, 1815,  315, 27, C::Standard, F::Window,  true},
    ElementRow{"cmd_start",           K::Button,       "FrameButton",         "Start",                           260,  320, 1400,  375,  4, C::Standard, F::Window,  true},
    ElementRow{"cmd_stop",            K::Button,       "FrameButton",         "Stop",                            260,  840, 1400,  375,  5, C::Standard, F::Window,  true},
    ElementRow{"Label_RecvFrame",     K::Caption,      "Frame_Status",        "Rcecive Frame [1:2]:",            120,  480, 2500,  255, 12, C::Standard, F::Bold975, true},
    ElementRow{"txt_RecvFrame",       K::ValueDisplay, "Frame_Status",        "0",                               3000, 480, 1000,  255, 13, C::Blue,     F::Bold975, true},
    ElementRow{"Label_LossFrame",     K::Caption,      "Frame_Status",        "Loss Frame [3:4]:",               120,  720, 2500,  255, 14, C::Standard, F::Bold975, true},
    ElementRow{"txt_LossFrame",       K::ValueDisplay, "Frame_Status",        "0",                               3000, 720, 1000,  255, 16, C::Blue,     F::Bold975, true},
    ElementRow{"Label_ErrorFrame",    K::Caption,      "Frame_Status",        "Error Frame [5:6]:",              120,  960, 2500,  255, 11, C::Standard, F::Bold975, true},
    ElementRow{"txt_ErrorFrame",      K::ValueDisplay, "Frame_Status",        "0",                               3000, 960, 1000,  255, 10, C::Blue,     F::Bold975, true},
    ElementRow{"Label_ErrorBit",      K::Caption,      "Frame_Status",        "Error Bit [7:10]:",               120, 1200, 2500,  255, 18, C::Standard, F::Bold975, true},
    ElementRow{"txt_ErrorBit",        K::ValueDisplay, "Frame_Status",        "0",                               3000, 1200, 1005, 255,  7, C::Blue,     F::Bold975, true},
    ElementRow{"Label_xxxx",          K::Caption,      "Frame_Status",        "xxxx:",                           120, 1440, 2500,  255, 15, C::Standard, F::Bold975, false},
    ElementRow{"txt_xxxx",            K::ValueDisplay, "Frame_Status",        "0",                               3000, 1440, 1000, 255, 17, C::Blue,     F::Bold975, false},
    ElementRow{"Label2",              K::Caption,      "Frame_Status",        "BER (without Sync loss)  :",      120, 2505, 2505,  255, 22, C::Standard, F::Bold975, true},
    ElementRow{"txt_BER",             K::ValueDisplay, "Frame_Status",        "0.0 E+0",                         3000, 2505, 1005, 255, 23, C::Blue,     F::Bold975, true},
    ElementRow{"Label_BER",           K::Caption,      "Frame_Status",        "BER (with Sync loss)  :",         120, 2745, 2505,  255,  9, C::Standard, F::Bold975, true},
    ElementRow{"txt_BER_Loss",        K::ValueDisplay, "Frame_Status",        "0.0 E+0",                         3000, 2745, 1005, 255,  8, C::Blue,     F::Bold975, true},
    ElementRow{"Label_PER",           K::Caption,      "Frame_Status",        "PER (without Sync loss) :",       120, 2985, 2505,  255, 20, C::Standard, F::Bold975, true},
    ElementRow{"txt_PER",             K::ValueDisplay, "Frame_Status",        "0.0 E+0",                         3000, 2985, 1005, 255, 21, C::Blue,     F::Bold975, true},
    ElementRow{"Label_PER_Loss",      K::Caption,      "Frame_Status",        "PER (with Sync loss):",           120, 3240, 2505,  255, 25, C::Standard, F::Bold975, true},
    ElementRow{"txt_PER_Loss",        K::ValueDisplay, "Frame_Status",        "0.0 E+0",                         3000, 3240, 1005, 255, 24, C::Blue,     F::Bold975, true},
    ElementRow{"StatusBar1",          K::StatusBar,    "Form1",               nullptr,                           0,   3885, 6795,  375,  2, C::Standard, F::Window,  true},
};
// clang-format on

} // namespace

std::span<const ElementRow> mainWindowElements()
{
    return kElements;
}

} // namespace ui
