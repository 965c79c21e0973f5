#pragma once

#include <QString>
#include <QtGlobal>

#include <span>

namespace ui {

enum class ElementKind {
    GroupBox,     // bordered group, optional title in its top edge
    Caption,      // fixed text
    ValueDisplay, // text the system sets; never editable, never focused
    List,         // drop-down list with a text field
    Button,
    StatusBar,
};

enum class TextColour { Standard, Blue, DarkGrey };

enum class FontStyle {
    Window,  // the window font: 9.75 pt, normal weight
    Bold975, // 9.75 pt, weight 700
    Bold9,   // 9 pt, weight 700
    Normal9, // 9 pt, weight 400
};

// One element of the main window as it is created. Positions and sizes are in
// twips (1440 to the inch, 15 to the pixel at 96 dpi) from the top-left corner
// of the container's client area.
struct ElementRow
{
    const char* name;
    ElementKind kind;
    const char* container; // "Form1" or a group's name
    const char* text;      // UTF-8; nullptr for none
    int left;
    int top;
    int width;
    int height;
    int tabIndex;
    TextColour colour;
    FontStyle font;
    bool shown;
};

// Every visible element of Form1, containers before their contents.
std::span<const ElementRow> mainWindowElements();

inline const QString kWindowTitle = QStringLiteral("KESMO BER Test Program 2020.08.18");
// The port status caption and its colour, as the window toolkit numbers
// colours (&HBBGGRR).
inline const QString kConnectedCaption = QStringLiteral("Connecting.....");
inline const QString kNotConnectedCaption = QStringLiteral("No Connecting.....");
inline constexpr quint32 kConnectedColour = 0xFF0000;    // blue
inline constexpr quint32 kNotConnectedColour = 0x0000FF; // red

// The window's client area, in twips.
inline constexpr int kClientWidthTwips = 6795;
inline constexpr int kClientHeightTwips = 4260;
inline constexpr int kTwipsPerPixel = 15;

inline int twipsToPixels(int twips)
{
    return qRound(twips / double(kTwipsPerPixel));
}

} // namespace ui
