#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <vector>

class QWidget;

namespace ui {

// Keeps fast-changing widgets from repainting more often than a screen can
// show. The first change repaints at once; changes in the following period
// are painted together when it ends. A widget's content is never held back,
// only its painting.
class RepaintPacer final : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPeriodMs = 40; // 25 repaints a second at most

    explicit RepaintPacer(QObject* parent = nullptr);

    // Call before changing what `widget` shows.
    void aboutToChange(QWidget* widget);

private:
    void release();

    QTimer m_period;
    std::vector<QPointer<QWidget>> m_held;
};

} // namespace ui
