#include "ui/StatusBar.h"

#include "ui/ElementTable.h"
#include "ui/ValueDisplay.h"

#include <QLocale>
#include <QTime>

namespace ui {

namespace {

ValueDisplay* makePanel(QWidget* parent, const char* name)
{
    auto* panel = new ValueDisplay({}, parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // Opaque, so that a new text repaints the panel alone, not the bar and
    // the window behind it.
    panel->setAutoFillBackground(true);
    return panel;
}

} // namespace

StatusBar::StatusBar(QWidget* parent)
    : QWidget(parent)
    , m_textPanel(makePanel(this, "StatusBar1_Panel1"))
    , m_timePanel(makePanel(this, "StatusBar1_Panel2"))
{
    m_timePanel->setAlignment(Qt::AlignCenter);

    m_clock.setSingleShot(true);
    m_clock.setTimerType(Qt::CoarseTimer);
    connect(&m_clock, &QTimer::timeout, this, &StatusBar::showTime);
    showTime();
}

void StatusBar::setText(const QString& text)
{
    m_textPanel->setText(text);
}

QString StatusBar::text() const
{
    return m_textPanel->text();
}

void StatusBar::showEvent(QShowEvent* event)
{
    showTime();
    QWidget::showEvent(event);
}

void StatusBar::hideEvent(QHideEvent* event)
{
    m_clock.stop();
    QWidget::hideEvent(event);
}

void StatusBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    constexpr int kGap = 2;
    const int panelWidth = twipsToPixels(kPanelWidthTwips);
    const int panelHeight = height() - 2 * kGap;
    const int textWidth = qMax(panelWidth, width() - panelWidth - 3 * kGap);
    m_textPanel->setFixedSize(textWidth, panelHeight);
    m_textPanel->move(kGap, kGap);
    m_timePanel->setFixedSize(panelWidth, panelHeight);
    m_timePanel->move(width() - panelWidth - kGap, kGap);
}

void StatusBar::showTime()
{
    const QString format = QLocale().timeFormat(QLocale::ShortFormat);
    const QTime now = QTime::currentTime();
    m_timePanel->setText(QLocale().toString(now, format));
    if (!isVisible())
        return;
    // Wake just after the next second or minute that the format shows starts;
    // nothing to do in between.
    const bool showsSeconds = format.contains(QLatin1Char('s'));
    const int period = showsSeconds ? 1000 : 60'000;
    const int msIntoPeriod = showsSeconds ? now.msec() : now.second() * 1000 + now.msec();
    m_clock.start(period - msIntoPeriod + 20);
}

} // namespace ui
