#pragma once

#include <QComboBox>

namespace ui {

// A drop-down list whose text field the operator can type into without
// effect: only choosing an entry (from the list, or with the arrow keys or the
// wheel) emits `chosen`. Typed text, Enter and leaving the field change
// nothing.
class DropDownList final : public QComboBox
{
    Q_OBJECT
public:
    explicit DropDownList(QWidget* parent = nullptr);

    void showPopup() override;
    // Picks the entry at `index` as the operator does: it shows in the text
    // field and `chosen` follows. An index outside the list picks nothing.
    void choose(int index);

signals:
    void chosen(int index);
    // The list is about to open: the moment to bring its entries up to date.
    void aboutToOpen();
};

} // namespace ui
