#include "ui/window/SidebarItemDelegate.h"

namespace quillon {

void SidebarItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QStyleOptionViewItem row(option);
    // The focus ring is drawn over the list, around the inset row.
    row.state.setFlag(QStyle::State_HasFocus, false);
    row.rect.adjust(inset, 0, -inset, 0);
    QStyledItemDelegate::paint(painter, row, index);
}

QSize SidebarItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    return QStyledItemDelegate::sizeHint(option, index) + QSize(2 * inset, 0);
}

} // namespace quillon
