#pragma once

#include "ui/ElementTable.h"

#include <QHash>
#include <QString>
#include <QWidget>

#include <span>
#include <stdexcept>
#include <string>

namespace ui {

// The elements of a window, made from rows of an element table and found by
// name afterwards.
class BuiltElements
{
public:
    // Creates each row's element in its container (the window itself for rows
    // whose container is the window's object name), placed and sized in
    // pixels, with its font, colour and visibility; lists and buttons take the
    // focus in the order of their tab index, the others never.
    BuiltElements(QWidget& window, std::span<const ElementRow> rows);

    // The element of that name and kind. A name or kind that the table does
    // not match is a mistake in the table: it throws std::logic_error, so that
    // it fails when the window is built.
    template <typename T = QWidget>
    T* find(const char* name) const
    {
        if (auto* element = qobject_cast<T*>(m_elements.value(QLatin1String(name))))
            return element;
        throw std::logic_error(std::string("no element ") + name + " of the expected kind");
    }

private:
    QHash<QString, QWidget*> m_elements;
};

} // namespace ui
