#include "ui/RepaintPacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace ui {

RepaintPacer::RepaintPacer(QWidget* window)
    : QObject(window)
    , m_window(window)
{
    m_held.setSingleShot(true);
    connect(&m_held, &QTimer::timeout, this, &RepaintPacer::paintHeldChanges);
    window->installEventFilter(this);
}

bool RepaintPacer::eventFilter(QObject* watched, QEvent* event)
{
    // Widgets that change mark themselves dirty and the window is sent one
    // update request, which paints them all. Holding the request back holds
    // the painting; the dirty regions wait, and no further request is sent
    // until the held one has been delivered.
    if (watched != m_window || event->type() != QEvent::UpdateRequest || m_releasing)
        return false;
    if (m_held.isActive())
        return true;
    if (!m_sincePaint.isValid() || m_sincePaint.elapsed() >= kPeriodMs) {
        m_sincePaint.start();
        return false;
    }
    m_held.start(int(kPeriodMs - m_sincePaint.elapsed()));
    return true;
}

void RepaintPacer::paintHeldChanges()
{
    m_sincePaint.start();
    m_releasing = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(m_window, &request);
    m_releasing = false;
}

} // namespace ui
