#pragma once

#include <QStyledItemDelegate>

namespace quillon {

// Draws the sidebar's rows inset from the window's edges, without the style's focus mark: the
// focus ring goes around the inset row.
class SidebarItemDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int inset = 8;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace quillon
