#pragma once

#include <QAccessible>
#include <QList>
#include <QStringList>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

namespace quillon::testing {

// Records the accessibility events the widgets send, as the platform's bridge would get them,
// while it lives, then hands back to the handler before it. One at a time.
class AccessibilityEvents {
public:
    struct Event {
        QAccessible::Event type;
        QAccessibleInterface* target;
        // Read at once, as a screen reader asks while the event is news.
        QAccessible::Role role = QAccessible::NoRole;
        QString name;
        // Of the text events: where the change or the caret is.
        int position = -1;
        QString text;
    };

    AccessibilityEvents() {
        current() = this;
        // A handler of our own makes Qt report events without a screen reader running.
        m_previous = QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
            if (current()) {
                current()->record(event);
            }
        });
        // As when a screen reader is running; Qt sends no events otherwise. The offscreen
        // platform has the plain platform accessibility, only this private switch turns it on.
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
    }
    ~AccessibilityEvents() {
        QAccessible::installUpdateHandler(m_previous);
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(false);
        current() = nullptr;
    }
    AccessibilityEvents(const AccessibilityEvents&) = delete;
    AccessibilityEvents& operator=(const AccessibilityEvents&) = delete;

    const QList<Event>& events() const { return m_events; }
    void clear() { m_events.clear(); }
    // What a screen reader was told without the focus: the texts of notifications shown.
    QStringList announcements() const {
        QStringList texts;
        for (const Event& event : m_events) {
            if (event.type == QAccessible::ObjectShow && event.role == QAccessible::Notification) {
                texts.append(event.name);
            }
        }
        return texts;
    }
    // What the last focus event was about, else null.
    QAccessibleInterface* lastFocus() const {
        for (auto it = m_events.crbegin(); it != m_events.crend(); ++it) {
            if (it->type == QAccessible::Focus) {
                return it->target;
            }
        }
        return nullptr;
    }

private:
    void record(QAccessibleEvent* event) {
        QAccessibleInterface* target = event->accessibleInterface();
        Event recorded{event->type(),
                       target,
                       target ? target->role() : QAccessible::NoRole,
                       target ? target->text(QAccessible::Name) : QString(),
                       -1,
                       QString()};
        switch (event->type()) {
        case QAccessible::TextCaretMoved:
            recorded.position = static_cast<QAccessibleTextCursorEvent*>(event)->cursorPosition();
            break;
        case QAccessible::TextInserted: {
            const auto* inserted = static_cast<QAccessibleTextInsertEvent*>(event);
            recorded.position = inserted->changePosition();
            recorded.text = inserted->textInserted();
            break;
        }
        case QAccessible::TextRemoved: {
            const auto* removed = static_cast<QAccessibleTextRemoveEvent*>(event);
            recorded.position = removed->changePosition();
            recorded.text = removed->textRemoved();
            break;
        }
        default:
            break;
        }
        m_events.append(recorded);
    }
    static AccessibilityEvents*& current() {
        static AccessibilityEvents* recorder = nullptr;
        return recorder;
    }
    QList<Event> m_events;
    QAccessible::UpdateHandler m_previous = nullptr;
};

} // namespace quillon::testing
