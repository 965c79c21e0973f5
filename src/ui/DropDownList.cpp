#include "ui/DropDownList.h"

#include <QLineEdit>

namespace ui {

DropDownList::DropDownList(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    // An editable combo box selects a matching entry when Enter is pressed or
    // the field loses focus. Here typing is never a choice, so the text field
    // is cut off from the list.
    disconnect(lineEdit(), nullptr, this, nullptr);
    connect(this, &QComboBox::activated, this, &DropDownList::chosen);
}

void DropDownList::showPopup()
{
    emit aboutToOpen();
    QComboBox::showPopup();
}

} // namespace ui
