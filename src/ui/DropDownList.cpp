#include "ui/DropDownList.h"

#include <QValidator>

namespace ui {

namespace {

// Any text may be typed, but none is ever complete: the text field then
// reports neither Enter nor the end of editing, which is how an editable
// combo box would select a matching entry. Choosing stays with the list.
class TypingChoosesNothing final : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString& /*input*/, int& /*pos*/) const override { return Intermediate; }
};

} // namespace

DropDownList::DropDownList(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setValidator(new TypingChoosesNothing(this));
    connect(this, &QComboBox::activated, this, &DropDownList::chosen);
}

void DropDownList::showPopup()
{
    emit aboutToOpen();
    QComboBox::showPopup();
}

void DropDownList::choose(int index)
{
    if (index < 0 || index >= count())
        return;
    setCurrentIndex(index);
    emit activated(index);
}

} // namespace ui
