#include "ui/ElementBuilder.h"

#include "ui/DropDownList.h"
#include "ui/ElementStyle.h"
#include "ui/StatusBar.h"
#include "ui/ValueDisplay.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <vector>

namespace ui {

namespace {

QWidget* createElement(const ElementRow& row, QWidget* container)
{
    const QString text = row.text ? QString::fromUtf8(row.text) : QString();
    switch (row.kind) {
    case ElementKind::GroupBox:
        return new QGroupBox(text, container);
    case ElementKind::Caption: {
        auto* label = new QLabel(text, container);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setAutoFillBackground(true);
        label->setWordWrap(false);
        label->setTextInteractionFlags(Qt::NoTextInteraction);
        return label;
    }
    case ElementKind::ValueDisplay: {
        auto* display = new ValueDisplay(text, container);
        display->setAutoFillBackground(true);
        return display;
    }
    case ElementKind::List: {
        auto* list = new DropDownList(container);
        list->setEditText(text);
        return list;
    }
    case ElementKind::Button:
        return new QPushButton(text, container);
    case ElementKind::StatusBar:
        return new StatusBar(container);
    }
    throw std::logic_error("unknown element kind");
}

} // namespace

BuiltElements::BuiltElements(QWidget& window, std::span<const ElementRow> rows)
{
    m_elements.insert(window.objectName(), &window);
    std::vector<const ElementRow*> focusOrder;
    for (const ElementRow& row : rows) {
        QWidget* element = createElement(row, find(row.container));
        element->setObjectName(QLatin1String(row.name));
        element->move(twipsToPixels(row.left), twipsToPixels(row.top));
        // Elements keep their size whatever they show; a fixed size also
        // spares the window a relayout whenever a display's text changes.
        element->setFixedSize(twipsToPixels(row.width), twipsToPixels(row.height));
        element->setFont(elementFont(row.font));
        if (const QColor colour = elementColour(row.colour); colour.isValid()) {
            QPalette palette = element->palette();
            palette.setColor(QPalette::WindowText, colour);
            palette.setColor(QPalette::ButtonText, colour);
            element->setPalette(palette);
        }
        element->setVisible(row.shown);
        if (row.kind == ElementKind::List || row.kind == ElementKind::Button)
            focusOrder.push_back(&row);
        else
            element->setFocusPolicy(Qt::NoFocus);
        m_elements.insert(element->objectName(), element);
    }

    // Tab moves through the focusable elements in the order of their tab index.
    std::sort(focusOrder.begin(), focusOrder.end(),
              [](const ElementRow* a, const ElementRow* b) { return a->tabIndex < b->tabIndex; });
    for (size_t i = 1; i < focusOrder.size(); ++i)
        QWidget::setTabOrder(find(focusOrder[i - 1]->name), find(focusOrder[i]->name));
}

} // namespace ui
