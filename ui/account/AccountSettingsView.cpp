#include "ui/account/AccountSettingsView.h"

#include "core/flows/ConnectFlow.h"
#include "core/storage/LinkedInSessionStore.h"
#include "ui/account/AccountDetailView.h"
#include "ui/account/NavigationStack.h"
#include "ui/feedback/FeedbackSheet.h"
#include "ui/kit/PrimaryButton.h"
#include "ui/kit/ProductLinks.h"
#include "ui/kit/ScrollPane.h"
#include "ui/kit/StatusLine.h"
#include "ui/kit/TextLabel.h"
#include "ui/theme/Metrics.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

constexpr int rowIconSize = 18;
constexpr int accountButtonSize = 52;
constexpr int accountSymbolSize = 24;

QString css(const QColor& color) {
    return u"rgba(%1, %2, %3, %4)"_s.arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

// A full-width row: symbol and title centred on a rounded fill, Enter and Space click it.
QPushButton* rowButton(const QString& title, Symbol symbol, const QColor& ink, const QColor& fill,
                       std::optional<QColor> stroke) {
    auto* row = new QPushButton(title);
    row->setAutoDefault(true);
    row->setFont(quillon::font(TextStyle::headline));
    row->setIcon(tintedSymbolIcon(symbol, ink));
    row->setIconSize(QSize(rowIconSize, rowIconSize));
    row->setCursor(Qt::PointingHandCursor);
    const QString border =
        stroke ? u"1px solid %1"_s.arg(css(*stroke)) : u"1px solid transparent"_s;
    row->setStyleSheet(
        // No focus mark of its own: the focus ring goes around it.
        u"QPushButton { color: %1; background: %2; border: %3; border-radius: %4px;"
        " padding: 14px; outline: none; }"
        "QPushButton:pressed { background: %5; }"_s.arg(css(ink), css(fill), border)
            .arg(int(Metrics::cornerRadius))
            .arg(css(Theme::withOpacity(fill, 0.7))));
    row->setProperty("focusRingRadius", Metrics::cornerRadius);
    return row;
}

} // namespace

AccountSettingsView::AccountSettingsView(LinkedInSessionStore& sessionStore,
                                         ConnectFlow& connectFlow, AccountFlow& accountFlow,
                                         FeedbackFlow* feedbackFlow, TelemetrySink telemetry,
                                         QWidget* parent)
    : QWidget(parent)
    , m_sessionStore(sessionStore)
    , m_connectFlow(connectFlow)
    , m_accountFlow(accountFlow)
    , m_feedbackFlow(feedbackFlow)
    , m_telemetry(std::move(telemetry)) {
    setObjectName(u"settingsPane"_s);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_navigation = new NavigationStack(rootPage(), this);
    layout->addWidget(m_navigation);
    connect(&m_sessionStore, &LinkedInSessionStore::tokenChanged, this,
            &AccountSettingsView::refresh);
    connect(&m_sessionStore, &LinkedInSessionStore::statusMessageChanged, this,
            &AccountSettingsView::refreshStatus);
    connect(&m_connectFlow, &ConnectFlow::connectingChanged, this,
            &AccountSettingsView::connectingDidChange);
    refresh();
    refreshStatus();
}

AccountSettingsView::~AccountSettingsView() = default;

QWidget* AccountSettingsView::rootPage() {
    auto* page = new QWidget;
    page->setObjectName(u"settingsRoot"_s);
    page->setAccessibleName(u"Settings"_s);
    // On the window's palette, whose window colour is the page's: a palette of its own would
    // give the scroll bars below a new cache key for the style's drawings at every visit.
    page->setAutoFillBackground(true);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // The toolbar: the account button at the trailing end.
    auto* toolbar = new QWidget;
    auto* toolbarRow = new QHBoxLayout(toolbar);
    toolbarRow->setContentsMargins(Metrics::defaultPadding, 8, Metrics::defaultPadding, 0);
    toolbarRow->addStretch(1);
    m_accountButton = new QPushButton;
    m_accountButton->setObjectName(u"accountButton"_s);
    m_accountButton->setAccessibleName(u"Account"_s);
    m_accountButton->setToolTip(u"Account"_s);
    m_accountButton->setAutoDefault(true);
    m_accountButton->setFixedSize(accountButtonSize, accountButtonSize);
    m_accountButton->setIcon(tintedSymbolIcon(Symbol::line3Horizontal, Theme::ink()));
    m_accountButton->setIconSize(QSize(accountSymbolSize, accountSymbolSize));
    m_accountButton->setCursor(Qt::PointingHandCursor);
    m_accountButton->setStyleSheet(
        u"QPushButton { background: %1; border: none; border-radius: %2px;"
        " outline: none; }"
        "QPushButton:pressed { background: %3; }"_s.arg(css(Theme::card()))
            .arg(accountButtonSize / 2)
            .arg(css(Theme::withOpacity(Theme::card(), 0.7))));
    // Round, and so is its focus ring.
    m_accountButton->setProperty("focusRingRadius", accountButtonSize / 2);
    connect(m_accountButton, &QPushButton::clicked, this, &AccountSettingsView::openAccount);
    toolbarRow->addWidget(m_accountButton);
    // Keeps the toolbar's height when the button is hidden, so the heading does not jump.
    toolbar->setMinimumHeight(accountButtonSize + 8);
    column->addWidget(toolbar);

    auto* pane = new ScrollPane(16);
    pane->setAccessibleName(u"Settings"_s);
    // Its controls take the focus and are scrolled into view; the frame itself need not.
    pane->setFocusPolicy(Qt::NoFocus);
    pane->column()->addWidget(
        textLabel(u"Settings"_s, quillon::font(TextStyle::title2, QFont::DemiBold), Theme::ink()));

    m_communityRow = rowButton(u"Community"_s, Symbol::person2, Theme::ink(), Theme::card(),
                               Theme::withOpacity(Theme::ink(), 0.16));
    m_communityRow->setObjectName(u"communityRow"_s);
    connect(m_communityRow, &QPushButton::clicked, this, &AccountSettingsView::openCommunity);
    pane->column()->addWidget(m_communityRow);

    if (m_feedbackFlow) {
        m_feedbackRow = rowButton(u"Send feedback"_s, Symbol::ladybug, Qt::white, Theme::accent(),
                                  std::nullopt);
        m_feedbackRow->setObjectName(u"sendFeedbackRow"_s);
        connect(m_feedbackRow, &QPushButton::clicked, this, &AccountSettingsView::openFeedback);
        pane->column()->addWidget(m_feedbackRow);
    }

    m_connectButton = new PrimaryButton(u"Connect LinkedIn"_s);
    m_connectButton->setObjectName(u"connectButton"_s);
    m_connectButton->setAutoDefault(true);
    connect(m_connectButton, &QPushButton::clicked, this, &AccountSettingsView::connectLinkedIn);
    pane->column()->addWidget(m_connectButton);
    // Under the button whichever way the account stands: a connect that failed says why.
    m_status = new StatusLine;
    m_status->setObjectName(u"statusLine"_s);
    pane->column()->addWidget(m_status);
    column->addWidget(pane, 1);
    return page;
}

void AccountSettingsView::refresh() {
    const bool connected = m_sessionStore.isConnected();
    m_accountButton->setVisible(connected);
    m_communityRow->setVisible(connected);
    if (m_feedbackRow) {
        m_feedbackRow->setVisible(connected);
    }
    m_connectButton->setVisible(!connected);
    m_connectButton->setText(isConnecting() ? u"Connecting..."_s : u"Connect LinkedIn"_s);
    // Once connected the button is gone; the account button that replaced it takes the focus.
    m_connectFocus.setEnabled(m_connectButton, !isConnecting(), m_accountButton);
}

void AccountSettingsView::refreshStatus() {
    m_status->setMessage(m_sessionStore.statusMessage().value_or(QString()));
}

AccountDetailView* AccountSettingsView::accountPage() const {
    return qobject_cast<AccountDetailView*>(m_navigation->top());
}

bool AccountSettingsView::isConnecting() const {
    return m_connectFlow.isConnecting();
}

void AccountSettingsView::connectingDidChange(bool connecting) {
    refresh();
    Q_EMIT isConnectingChanged(connecting);
}

void AccountSettingsView::connectLinkedIn() {
    // Not awaited: the connect runs on after the click has returned, and after the pane.
    m_connectFlow.connectLinkedIn(m_telemetry);
}

void AccountSettingsView::openAccount() {
    if (accountPage() || !m_sessionStore.isConnected()) {
        return;
    }
    auto* page = new AccountDetailView(m_sessionStore, m_accountFlow, m_telemetry);
    // Set once the page exists: dismissing pops exactly this page, if it is still shown.
    const QPointer<NavigationStack> navigation(m_navigation);
    const QPointer<AccountDetailView> shown(page);
    page->setDismiss([navigation, shown] {
        if (navigation && shown) {
            navigation->popTo(shown);
        }
    });
    m_navigation->push(page);
}

void AccountSettingsView::openCommunity() {
    QDesktopServices::openUrl(ProductLinks::communityInvitation());
}

void AccountSettingsView::openFeedback() {
    if (!m_feedbackFlow) {
        return;
    }
    setShowsFeedback(true);
    if (!m_feedbackSheet) {
        m_feedbackSheet = m_feedbackSheetSource ? m_feedbackSheetSource()
                                                : new FeedbackSheet(m_sessionStore, *m_feedbackFlow,
                                                                    m_telemetry, this);
    }
    m_feedbackSheet->present(
        this, [this] { setShowsFeedback(false); }, m_telemetry);
}

void AccountSettingsView::setShowsFeedback(bool shown) {
    if (m_showsFeedback == shown) {
        return;
    }
    m_showsFeedback = shown;
    Q_EMIT showsFeedbackChanged(shown);
}

} // namespace quillon
