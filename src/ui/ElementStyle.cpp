#include "ui/ElementStyle.h"

#include <QStringList>

namespace ui {

QFont elementFont(FontStyle style)
{
    QFont font;
    font.setFamilies({QStringLiteral("新細明體"), QStringLiteral("PMingLiU"), QStringLiteral("AR PL UMing TW"),
                      QStringLiteral("AR PL UMing CN")});
    font.setStyleHint(QFont::Serif);
    const bool small = style == FontStyle::Bold9 || style == FontStyle::Normal9;
    font.setPointSizeF(small ? 9.0 : 9.75);
    const bool bold = style == FontStyle::Bold975 || style == FontStyle::Bold9;
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    // At these sizes the Ming faces draw regular text from their bitmap
    // strikes, crisp and black; smoothed outlines of their thin strokes look
    // grey, like disabled text. Bold strokes are thick enough to smooth.
    // Every text of the window is Latin, which needs no shaping; skipping it
    // draws the same pixels at a quarter less cost.
    font.setStyleStrategy(bold ? QFont::PreferNoShaping
                               : QFont::StyleStrategy(QFont::NoAntialias | QFont::PreferNoShaping));
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QColor elementColour(TextColour colour)
{
    switch (colour) {
    case TextColour::Blue:
        return colourFromBgr(0xFF0000);
    case TextColour::DarkGrey:
        return colourFromBgr(0x404040);
    case TextColour::Standard:
        break;
    }
    return {};
}

QColor colourFromBgr(quint32 bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

} // namespace ui
