#pragma once

#include <QAccessible>
#include <QList>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

namespace quillon::testing {

// Records the accessibility events the widgets send, as the platform's bridge would get them,
// while it lives. One at a time.
class AccessibilityEvents {
public:
    struct Event {
        QAccessible::Event type;
        QAccessibleInterface* target;
    };

    AccessibilityEvents() {
        current() = this;
        // A handler of our own makes Qt report events without a screen reader running.
        QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
            if (current()) {
                current()->m_events.append({event->type(), event->accessibleInterface()});
            }
        });
        // As when a screen reader is running; Qt sends no events otherwise. The offscreen
        // platform has the plain platform accessibility, only this private switch turns it on.
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
    }
    ~AccessibilityEvents() {
        QAccessible::installUpdateHandler(nullptr);
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(false);
        current() = nullptr;
    }
    AccessibilityEvents(const AccessibilityEvents&) = delete;
    AccessibilityEvents& operator=(const AccessibilityEvents&) = delete;

    const QList<Event>& events() const { return m_events; }
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
    static AccessibilityEvents*& current() {
        static AccessibilityEvents* recorder = nullptr;
        return recorder;
    }
    QList<Event> m_events;
};

} // namespace quillon::testing
