#pragma once

#include <QDialog>

class QPushButton;

namespace quillon {

// The question before an account is deleted: "Delete account?" with what goes, then
// "Delete account" and "Cancel" in that order. Cancel is the default and answers Escape;
// accepted means delete.
class DeleteAccountDialog : public QDialog {
    Q_OBJECT

public:
    explicit DeleteAccountDialog(QWidget* parent = nullptr);

    static QString title();
    static QString message();

    QPushButton* deleteButton() const { return m_delete; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    QPushButton* m_delete;
    QPushButton* m_cancel;
};

} // namespace quillon
