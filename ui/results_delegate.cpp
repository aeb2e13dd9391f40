#include "ui/results_delegate.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

namespace corvane::ui {

bool CutTextTipDelegate::IsCut(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return sizeHint(option, index).width() > option.rect.width();
}

bool CutTextTipDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                   const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    const QString tip = index.data(Qt::ToolTipRole).toString();
    // A cut text shows in full; a mark (the rank's movement) in words.
    const bool marked = !index.data(Qt::DecorationRole).isNull();
    if (tip.isEmpty() || (!marked && !IsCut(option, index))) {
        QToolTip::hideText();
        event->ignore();
        return false;
    }
    QToolTip::showText(event->globalPos(), tip, view->viewport(), option.rect);
    return true;
}

}  // namespace corvane::ui
