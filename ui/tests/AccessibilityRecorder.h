#pragma once

#include <QAccessible>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

namespace quillon::testing {

// Accessibility switched on, as a screen reader's presence does, with every event the widgets
// send recorded in place of the platform bridge, for as long as it lives.
class AccessibilityRecorder {
public:
    struct Record {
        QAccessible::Event type;
        QPointer<QObject> object;
        QAccessible::Role role;
        QString name;
    };

    AccessibilityRecorder() {
        records().clear();
        QAccessible::installUpdateHandler(&record);
        platform()->setActive(true);
    }
    ~AccessibilityRecorder() {
        platform()->setActive(false);
        QAccessible::installUpdateHandler(nullptr);
        records().clear();
    }
    AccessibilityRecorder(const AccessibilityRecorder&) = delete;
    AccessibilityRecorder& operator=(const AccessibilityRecorder&) = delete;

    const QList<Record>& events() const { return records(); }
    void clear() { records().clear(); }

    // What a screen reader was told without the focus: the texts of notifications shown.
    QStringList announcements() const {
        QStringList texts;
        for (const Record& event : records()) {
            if (event.type == QAccessible::ObjectShow && event.role == QAccessible::Notification) {
                texts.append(event.name);
            }
        }
        return texts;
    }

private:
    static QPlatformAccessibility* platform() {
        return QGuiApplicationPrivate::platformIntegration()->accessibility();
    }
    static QList<Record>& records() {
        static QList<Record> list;
        return list;
    }
    static void record(QAccessibleEvent* event) {
        // Read at once: a screen reader asks while the event is news.
        QAccessibleInterface* accessible = event->accessibleInterface();
        records().append({event->type(), event->object(),
                          accessible ? accessible->role() : QAccessible::NoRole,
                          accessible ? accessible->text(QAccessible::Name) : QString()});
    }
};

} // namespace quillon::testing
