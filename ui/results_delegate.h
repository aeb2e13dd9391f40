// The item delegate of the results list: draws cells as usual, and shows a
// cell's tooltip only while the cell is too narrow for its text, so that a
// host cut short by its column can still be read in full.
#pragma once

#include <QStyledItemDelegate>

namespace corvane::ui {

class CutTextTipDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Whether the cell at `index`, drawn in `option.rect`, shows less than
    // its whole text.
    bool IsCut(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

}  // namespace corvane::ui
