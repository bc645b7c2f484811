#include "ui/kit/EnterKeyActivation.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace quillon {

EnterKeyActivation::EnterKeyActivation(QAbstractButton* button)
    : QObject(button) {}

void EnterKeyActivation::install(QAbstractButton* button) {
    button->installEventFilter(new EnterKeyActivation(button));
}

bool EnterKeyActivation::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool isEnter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (!isEnter || modifiers != Qt::NoModifier || !button || !button->isEnabled() ||
        key->isAutoRepeat()) {
        return false;
    }
    button->click();
    return true;
}

} // namespace quillon
