#include "ui/ValueDisplay.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace ui {

namespace {

// What a screen reader is told of a display: static text named by its text,
// unless the display has an accessible name of its own.
class AccessibleValueDisplay final : public QAccessibleWidget
{
public:
    explicit AccessibleValueDisplay(ValueDisplay* display)
        : QAccessibleWidget(display, QAccessible::StaticText)
    {
    }

    QString text(QAccessible::Text kind) const override
    {
        const QString own = QAccessibleWidget::text(kind);
        if (kind == QAccessible::Name && own.isEmpty())
            return static_cast<const ValueDisplay*>(object())->text();
        return own;
    }
};

QAccessibleInterface* accessibleValueDisplay(const QString& className, QObject* object)
{
    if (className != QLatin1String(ValueDisplay::staticMetaObject.className()))
        return nullptr;
    return new AccessibleValueDisplay(static_cast<ValueDisplay*>(object));
}

} // namespace

ValueDisplay::ValueDisplay(const QString& text, QWidget* parent)
    : QFrame(parent)
    , m_text(text)
{
    static const bool accessible = (QAccessible::installFactory(accessibleValueDisplay), true);
    Q_UNUSED(accessible);
}

void ValueDisplay::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    update();
    if (QAccessible::isActive()) {
        QAccessibleEvent changed(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
}

void ValueDisplay::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void ValueDisplay::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    drawFrame(&painter);
    const Qt::LayoutDirection direction = m_text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
    const Qt::Alignment align = QStyle::visualAlignment(direction, m_alignment);
    QRect area = contentsRect();
    // Inside a frame the text keeps half an x from it, as a caption's does.
    if (frameWidth() > 0) {
        const int indent = fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2;
        if (align & Qt::AlignLeft)
            area.setLeft(area.left() + indent);
        if (align & Qt::AlignRight)
            area.setRight(area.right() - indent);
        if (align & Qt::AlignTop)
            area.setTop(area.top() + indent);
        if (align & Qt::AlignBottom)
            area.setBottom(area.bottom() - indent);
    }
    QStyleOption option;
    option.initFrom(this);
    const int flags =
        int(align) | (direction == Qt::LeftToRight ? Qt::TextForceLeftToRight : Qt::TextForceRightToLeft);
    style()->drawItemText(&painter, area, flags, option.palette, isEnabled(), m_text, foregroundRole());
}

} // namespace ui
