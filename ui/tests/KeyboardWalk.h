#pragma once

#include <QAccessible>
#include <QApplication>
#include <QList>
#include <QTest>
#include <QWidget>

namespace quillon::testing {

// What a screen reader announces for `widget`.
inline QString accessibleName(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

// The widgets Tab visits from `start` until it comes back (or `limit` steps), `start` first.
inline QList<QWidget*> tabChain(QWidget* start, int limit = 40) {
    QList<QWidget*> visited;
    start->setFocus(Qt::TabFocusReason);
    QWidget* current = QApplication::focusWidget();
    while (current && !visited.contains(current) && visited.size() < limit) {
        visited.append(current);
        QTest::keyClick(current, Qt::Key_Tab);
        current = QApplication::focusWidget();
    }
    return visited;
}

} // namespace quillon::testing
