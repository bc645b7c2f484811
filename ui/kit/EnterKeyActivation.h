#pragma once

#include <QObject>

class QAbstractButton;

namespace quillon {

// Lets Enter and Return press a button that has keyboard focus, as Space does; Qt's own
// buttons answer Enter only as a dialog's default.
class EnterKeyActivation : public QObject {
    Q_OBJECT

public:
    // Owned by `button`.
    static void install(QAbstractButton* button);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit EnterKeyActivation(QAbstractButton* button);
};

} // namespace quillon
