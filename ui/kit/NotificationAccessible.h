#pragma once

#include <QAccessibleWidget>

namespace quillon {

// What a screen reader sees of a widget that tells an outcome: the notification role, named by
// its text. Showing such a widget is how a screen reader learns of a new message without the
// focus moving (Orca speaks a notification when it is shown). A widget class takes part by
// declaring Q_CLASSINFO("accessibleRole", "notification") and calling installFactory() before
// its first instance is made.
class NotificationAccessible : public QAccessibleWidget {
public:
    explicit NotificationAccessible(QWidget* widget);

    // Its accessible name when it has one, else a label's text.
    QString text(QAccessible::Text t) const override;

    // Makes accessibility use this class for the widgets that declare the role; once per
    // process, however often it is called.
    static void installFactory();
};

} // namespace quillon
