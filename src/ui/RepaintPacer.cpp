#include "ui/RepaintPacer.h"

#include <QWidget>

namespace ui {

RepaintPacer::RepaintPacer(QObject* parent)
    : QObject(parent)
{
    m_period.setSingleShot(true);
    m_period.setInterval(kPeriodMs);
    connect(&m_period, &QTimer::timeout, this, &RepaintPacer::release);
}

void RepaintPacer::aboutToChange(QWidget* widget)
{
    if (!m_period.isActive()) {
        m_period.start();
        return;
    }
    if (widget->updatesEnabled()) {
        widget->setUpdatesEnabled(false);
        m_held.emplace_back(widget);
    }
}

void RepaintPacer::release()
{
    if (m_held.empty())
        return; // nothing changed in this period: the next change paints at once
    for (const QPointer<QWidget>& widget : m_held) {
        if (widget)
            widget->setUpdatesEnabled(true); // repaints it
    }
    m_held.clear();
    m_period.start();
}

} // namespace ui
