#include "ui/account/AccountDetailView.h"

#include "core/flows/AccountFlow.h"
#include "core/storage/LinkedInSessionStore.h"
#include "ui/account/DeleteAccountDialog.h"
#include "ui/kit/CardSurface.h"
#include "ui/kit/LinkedInProfilePhoto.h"
#include "ui/kit/ScrollPane.h"
#include "ui/kit/SecondaryButton.h"
#include "ui/kit/StatusLine.h"
#include "ui/kit/Surface.h"
#include "ui/kit/TextLabel.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QRegularExpression>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

constexpr int photoSize = 56;

} // namespace

AccountDetailView::AccountDetailView(LinkedInSessionStore& sessionStore, AccountFlow& accountFlow,
                                     TelemetrySink telemetry, QWidget* parent)
    : QWidget(parent)
    , m_sessionStore(sessionStore)
    , m_accountFlow(accountFlow)
    , m_telemetry(std::move(telemetry))
    , m_cardColumn(new QVBoxLayout)
    , m_card(cardSurface(u"accountCard"_s, m_cardColumn, 12))
    , m_status(new StatusLine)
    , m_bottomBar(new Surface(Theme::background()))
    , m_deleteButton(new SecondaryButton(u"Delete account"_s)) {
    setObjectName(u"accountPage"_s);
    setAccessibleName(u"Account"_s);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* pane = new ScrollPane(16);
    pane->setAccessibleName(u"Account"_s);
    // Its controls take the focus and are scrolled into view; the frame itself need not.
    pane->setFocusPolicy(Qt::NoFocus);
    pane->column()->addWidget(
        textLabel(u"Account"_s, quillon::font(TextStyle::title2, QFont::DemiBold), Theme::ink()));
    pane->column()->addWidget(m_card);
    m_status->setObjectName(u"statusLine"_s);
    pane->column()->addWidget(m_status);
    pane->column()->addStretch(1);
    layout->addWidget(pane, 1);

    m_bottomBar->setObjectName(u"bottomBar"_s);
    m_bottomBar->setEdgeLine(Surface::Edge::top, Theme::hairline());
    auto* barColumn = new QVBoxLayout(m_bottomBar);
    // The button ends where the card above it ends.
    barColumn->setContentsMargins(pane->barMargins(12, 8));
    m_deleteButton->setObjectName(u"deleteAccountButton"_s);
    m_deleteButton->setAutoDefault(true);
    connect(m_deleteButton, &QPushButton::clicked, this, &AccountDetailView::confirmDeletion);
    barColumn->addWidget(m_deleteButton);
    layout->addWidget(m_bottomBar);

    connect(&m_sessionStore, &LinkedInSessionStore::tokenChanged, this, [this] {
        refreshCard();
        refreshBottomBar();
    });
    connect(&m_sessionStore, &LinkedInSessionStore::statusMessageChanged, this,
            &AccountDetailView::refreshStatus);
    connect(&m_accountFlow, &AccountFlow::loggingOutChanged, this,
            &AccountDetailView::busyDidChange);
    connect(&m_accountFlow, &AccountFlow::deletingAccountChanged, this,
            &AccountDetailView::busyDidChange);
    connect(&m_accountFlow, &AccountFlow::settled, this, &AccountDetailView::dismissIfShown);
    refreshCard();
    refreshStatus();
    refreshBottomBar();
}

AccountDetailView::~AccountDetailView() = default;

QString AccountDetailView::numericDate(QDate date, const QLocale& locale) {
    // The short format writes two-digit years in many locales ("M/d/yy"); the page shows the
    // whole year. A few (the C locale) name the month; the numbers then follow ISO 8601.
    static const QRegularExpression shortYear(u"(?<!y)yy(?!y)"_s);
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (format.contains(u"MMM"_s)) {
        return date.toString(Qt::ISODate);
    }
    format.replace(shortYear, u"yyyy"_s);
    return locale.toString(date, format);
}

QString AccountDetailView::registeredText(const QDateTime& connectedAt, const QLocale& locale) {
    return u"Registered "_s + numericDate(connectedAt.toLocalTime().date(), locale);
}

QWidget* AccountDetailView::profileBlock() {
    const LinkedInToken& token = *m_sessionStore.token();
    auto* row = new QHBoxLayout;
    Surface* block = cardSurface(u"profileBlock"_s, row, 12);
    auto* photo = new LinkedInProfilePhoto(photoSize);
    photo->setObjectName(u"profilePhoto"_s);
    photo->setPictureURL(token.profile.pictureURL);
    row->addWidget(photo, 0, Qt::AlignTop);

    auto* text = new QVBoxLayout;
    text->setSpacing(6);
    QLabel* name = textLabel(token.profile.name, quillon::font(TextStyle::title3, QFont::DemiBold),
                             Theme::ink());
    name->setObjectName(u"profileName"_s);
    name->setTextFormat(Qt::PlainText);
    name->setWordWrap(true);
    text->addWidget(name);
    if (const std::optional<QString> headline = token.profile.displayHeadline()) {
        QLabel* line =
            textLabel(*headline, quillon::font(TextStyle::subheadline), Theme::secondaryInk());
        line->setObjectName(u"profileHeadline"_s);
        line->setTextFormat(Qt::PlainText);
        line->setWordWrap(true);
        text->addWidget(line);
    }
    QLabel* registered = textLabel(registeredText(token.connectedAt),
                                   quillon::font(TextStyle::caption), Theme::secondaryInk());
    registered->setObjectName(u"registeredLine"_s);
    text->addWidget(registered);
    text->addStretch(1);
    row->addLayout(text, 1);
    return block;
}

void AccountDetailView::refreshCard() {
    const bool hadFocus = m_logOutButton && m_logOutButton->hasFocus();
    if (m_cardContent) {
        m_cardContent->hide();
        m_cardContent->deleteLater();
        m_cardContent = nullptr;
        m_logOutButton = nullptr;
    }
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    if (!m_sessionStore.token()) {
        QLabel* none =
            textLabel(u"Not connected."_s, quillon::font(TextStyle::body), Theme::secondaryInk());
        none->setObjectName(u"notConnected"_s);
        column->addWidget(none);
    } else {
        column->addWidget(profileBlock());
        m_logOutButton = new SecondaryButton(u"Log out"_s);
        m_logOutButton->setObjectName(u"logOutButton"_s);
        m_logOutButton->setAutoDefault(true);
        connect(m_logOutButton, &QPushButton::clicked, this, &AccountDetailView::logOut);
        column->addWidget(m_logOutButton);
    }
    m_cardColumn->addWidget(content);
    m_cardContent = content;
    if (m_logOutButton) {
        // Made after the bottom bar, it would otherwise come after "Delete account".
        QWidget::setTabOrder(m_logOutButton, m_deleteButton);
    }
    refreshButtons();
    if (hadFocus && m_logOutButton) {
        m_logOutButton->setFocus(Qt::OtherFocusReason);
    }
}

void AccountDetailView::refreshStatus() {
    m_status->setMessage(m_sessionStore.statusMessage().value_or(QString()));
}

void AccountDetailView::refreshBottomBar() {
    m_bottomBar->setVisible(m_sessionStore.isConnected());
}

void AccountDetailView::refreshButtons() {
    if (m_logOutButton) {
        m_logOutButton->setText(isLoggingOut() ? u"Logging out..."_s : u"Log out"_s);
    }
    m_deleteButton->setText(isDeletingAccount() ? u"Deleting..."_s : u"Delete account"_s);
    // Together: disabled one by one, "Log out" would hand its focus to "Delete account" and
    // that one would get it back afterwards.
    m_buttonsFocus.setEnabled({m_logOutButton, m_deleteButton}, !m_accountFlow.isBusy());
}

bool AccountDetailView::isLoggingOut() const {
    return m_accountFlow.isLoggingOut();
}

bool AccountDetailView::isDeletingAccount() const {
    return m_accountFlow.isDeletingAccount();
}

void AccountDetailView::busyDidChange() {
    refreshButtons();
    Q_EMIT busyChanged();
}

void AccountDetailView::logOut() {
    // Not awaited: the request runs on after the click has returned, and after the page.
    m_accountFlow.logOut();
}

void AccountDetailView::confirmDeletion() {
    if (m_accountFlow.isBusy() || m_confirmation) {
        return;
    }
    m_showsDeleteConfirmation = true;
    auto* dialog = new DeleteAccountDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this](int result) {
        m_showsDeleteConfirmation = false;
        if (result == QDialog::Accepted) {
            deleteAccount();
        }
    });
    m_confirmation = dialog;
    dialog->open();
    dialog->cancelButton()->setFocus(Qt::OtherFocusReason);
}

void AccountDetailView::deleteAccount() {
    m_accountFlow.deleteAccount(m_telemetry);
}

void AccountDetailView::dismissIfShown() {
    if (m_dismiss) {
        m_dismiss();
    }
}

} // namespace quillon
