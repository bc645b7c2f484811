#include "ui/kit/StatusLine.h"

#include "ui/kit/NotificationAccessible.h"
#include "ui/kit/TextLabel.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"

namespace quillon {

StatusLine::StatusLine(QWidget* parent)
    : QLabel(parent) {
    // Before anything asks accessibility about this label.
    NotificationAccessible::installFactory();
    // Verbatim: a backend's message is shown as sent, never as markup.
    setTextFormat(Qt::PlainText);
    setTextStyle(this, quillon::font(TextStyle::subheadline), Theme::secondaryInk());
    setWordWrap(true);
    // The text can be selected and copied with the mouse (which gives the line the focus).
    // Not Qt::NoFocus: on Qt 6.4 that reorders the page's tab chain around the line.
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    hide();
}

void StatusLine::setMessage(const QString& message) {
    m_message = message;
    if (message.isEmpty()) {
        hide();
        clear();
        return;
    }
    if (!m_announcing) {
        m_announcing = true;
        QMetaObject::invokeMethod(this, &StatusLine::announce, Qt::QueuedConnection);
    }
}

void StatusLine::announce() {
    m_announcing = false;
    if (m_message.isEmpty()) {
        return;
    }
    // Hidden, given its text and shown again: a screen reader hears a notification appear,
    // the one way Orca speaks a message that does not come with the focus. On a page out of
    // sight nothing is heard until the page, and so the line, is shown.
    if (hasFocus()) {
        // Hiding would move the focus on; the screen reader is with the line and hears its
        // new text.
        setText(m_message);
        return;
    }
    hide();
    setText(m_message);
    show();
}

} // namespace quillon
