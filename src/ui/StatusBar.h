#pragma once

#include <QTimer>
#include <QWidget>

namespace ui {

class ValueDisplay;

// The window's status bar: panel 1 takes the text the system writes and
// stretches with the bar; panel 2 shows the time of day and keeps it current
// by itself, waking only when the shown time changes. Both panels have fixed
// sizes that only a resize of the bar changes, so a new text never sets off
// a relayout.
class StatusBar final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kPanelWidthTwips = 1440;

    explicit StatusBar(QWidget* parent = nullptr);

    // The text panel's text; the time panel is written by the bar alone.
    void setText(const QString& text);
    QString text() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showTime();

    ValueDisplay* m_textPanel;
    ValueDisplay* m_timePanel;
    QTimer m_clock;
};

} // namespace ui
