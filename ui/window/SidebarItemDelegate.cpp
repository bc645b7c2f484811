#include "ui/window/SidebarItemDelegate.h"

#include "ui/theme/Theme.h"

#include <QPainter>

namespace quillon {

void SidebarItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QStyleOptionViewItem row(option);
    const bool hasFocus = row.state.testFlag(QStyle::State_HasFocus);
    row.state.setFlag(QStyle::State_HasFocus, false);
    row.rect.adjust(inset, 0, -inset, 0);
    QStyledItemDelegate::paint(painter, row, index);
    if (hasFocus) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(Theme::accent(), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(row.rect).adjusted(1, 1, -1, -1), 4, 4);
        painter->restore();
    }
}

QSize SidebarItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    return QStyledItemDelegate::sizeHint(option, index) + QSize(2 * inset, 0);
}

} // namespace quillon
