#include "ui/account/DeleteAccountDialog.h"

#include "ui/kit/TextLabel.h"
#include "ui/theme/Metrics.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace quillon {

QString DeleteAccountDialog::title() {
    return u"Delete account?"_s;
}

QString DeleteAccountDialog::message() {
    return u"This deletes your LinkedIn connection, local drafts, and local authorization token. "
           "Support, legal, and security records may be retained where required."_s;
}

DeleteAccountDialog::DeleteAccountDialog(QWidget* parent)
    : QDialog(parent)
    , m_delete(new QPushButton(u"Delete account"_s))
    , m_cancel(new QPushButton(u"Cancel"_s)) {
    setObjectName(u"deleteAccountDialog"_s);
    setWindowTitle(title());
    setWindowModality(Qt::WindowModal);
    // A window of its own does not inherit the main window's light palette.
    setPalette(Theme::lightPalette());

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(Metrics::defaultPadding, Metrics::defaultPadding,
                               Metrics::defaultPadding, Metrics::defaultPadding);
    column->setSpacing(10);
    QLabel* heading =
        textLabel(title(), quillon::font(TextStyle::headline, QFont::DemiBold), Theme::ink());
    heading->setObjectName(u"deleteAccountTitle"_s);
    column->addWidget(heading);
    QLabel* body = textLabel(message(), quillon::font(TextStyle::body), Theme::ink());
    body->setObjectName(u"deleteAccountMessage"_s);
    body->setWordWrap(true);
    column->addWidget(body);
    column->addSpacing(6);

    // In the stated order, whatever the desktop's button order is.
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_delete->setObjectName(u"confirmDeleteButton"_s);
    QPalette destructive = m_delete->palette();
    destructive.setColor(QPalette::ButtonText, QColor(0xc6, 0x28, 0x28));
    m_delete->setPalette(destructive);
    m_cancel->setObjectName(u"cancelDeleteButton"_s);
    m_cancel->setDefault(true);
    buttons->addWidget(m_delete);
    buttons->addWidget(m_cancel);
    column->addLayout(buttons);
    connect(m_delete, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    setMinimumWidth(380);
}

} // namespace quillon
