#pragma once

#include <QLabel>

namespace quillon {

// The one-line outcome of what the user just did ("Draft saved", a failed request's
// description), in the subheadline font and the secondary ink, hidden while there is none.
// Each message is announced to screen readers as a notification; the focus stays where it is.
class StatusLine : public QLabel {
    Q_OBJECT
    Q_CLASSINFO("accessibleRole", "notification")

public:
    explicit StatusLine(QWidget* parent = nullptr);

    // Empty clears and hides the line at once. Any other text is shown and announced once
    // control returns to the event loop, also when it repeats the one shown (the same outcome
    // happened again); of the messages set in one turn only the last is told, so a message
    // that an operation replaces or clears before it ends is never heard.
    void setMessage(const QString& message);
    const QString& message() const { return m_message; }

private:
    void announce();

    QString m_message;
    bool m_announcing = false;
};

} // namespace quillon
