#pragma once

#include <QFrame>
#include <QString>

namespace ui {

// One line of plain text that only the program sets, drawn as a caption
// (QLabel) draws it: the same font, palette, alignment, frame and indent.
// The value displays and the status bar's panels change at every report; a
// new text here marks the display for the next paint and tells a screen
// reader when one listens, where a label would also weigh a relayout, drop
// its text layout and look up its accessible interface whether or not
// anything listens.
class ValueDisplay final : public QFrame
{
    Q_OBJECT
public:
    explicit ValueDisplay(const QString& text = {}, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

} // namespace ui
