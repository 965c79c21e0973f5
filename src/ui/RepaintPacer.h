#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QWidget;

namespace ui {

// Keeps a window from repainting more often than a screen can show. A change
// after a pause is painted at once, in the same pass as every other change
// made by the same event; changes that follow within the period are painted
// together when it ends. Texts are never held back, only their painting, and
// a pass paints only the widgets that changed.
class RepaintPacer final : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPeriodMs = 40; // 25 repaints a second at most

    // Paces the repaints of `window`, a top-level widget.
    explicit RepaintPacer(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void paintHeldChanges();

    QWidget* m_window;
    QElapsedTimer m_sincePaint;
    QTimer m_held; // runs while a repaint waits for the period to end
    bool m_releasing = false;
};

} // namespace ui
