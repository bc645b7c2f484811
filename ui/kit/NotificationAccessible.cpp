#include "ui/kit/NotificationAccessible.h"

#include <QLabel>
#include <QMetaClassInfo>

namespace quillon {
namespace {

bool declaresNotification(const QObject* object) {
    const QMetaObject* meta = object->metaObject();
    const int index = meta->indexOfClassInfo("accessibleRole");
    return index >= 0 && qstrcmp(meta->classInfo(index).value(), "notification") == 0;
}

QAccessibleInterface* notificationFactory(const QString& className, QObject* object) {
    // Asked first with the object's own class, so a declaring class wins over its base's
    // interface.
    if (!object || !object->isWidgetType() ||
        className != QLatin1String(object->metaObject()->className()) ||
        !declaresNotification(object)) {
        return nullptr;
    }
    return new NotificationAccessible(static_cast<QWidget*>(object));
}

} // namespace

NotificationAccessible::NotificationAccessible(QWidget* widget)
    : QAccessibleWidget(widget, QAccessible::Notification) {}

QString NotificationAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Name) {
        if (!widget()->accessibleName().isEmpty()) {
            return widget()->accessibleName();
        }
        if (const auto* label = qobject_cast<const QLabel*>(widget())) {
            return label->text();
        }
    }
    return QAccessibleWidget::text(t);
}

void NotificationAccessible::installFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(notificationFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace quillon
