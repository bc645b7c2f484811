#include "ui/websignin/WebEngineAuthenticationSession.h"

#include "ui/theme/Theme.h"
#include "ui/websignin/CallbackSchemeHandler.h"
#include "ui/websignin/SignInSheetSession.h"

#include <QApplication>
#include <QDialog>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWebEngineNavigationRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace quillon {

namespace {

// The profile non-private sheets share, stored under the app's data folder.
const QString sharedProfileName = u"signin"_s;

} // namespace

WebEngineAuthenticationSession::WebEngineAuthenticationSession(QUrl url, QString callbackURLScheme,
                                                               CompletionHandler completion)
    : WebAuthenticationSession(std::move(url), std::move(callbackURLScheme),
                               std::move(completion)) {}

WebEngineAuthenticationSession::~WebEngineAuthenticationSession() {
    complete(std::nullopt,
             WebAuthenticationSessionError(WebAuthenticationSessionError::Code::canceledLogin));
    tearDown(true);
}

QDialog* WebEngineAuthenticationSession::dialog() const {
    return m_dialog;
}

QWebEngineView* WebEngineAuthenticationSession::view() const {
    return m_view;
}

void WebEngineAuthenticationSession::registerCallbackScheme(const QString& scheme) {
    QWebEngineUrlScheme callback(scheme.toUtf8());
    // Path syntax keeps the URL as the page wrote it; nothing is loaded from it anyway.
    callback.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(callback);
}

WebAuthenticationSessionFactory WebEngineAuthenticationSession::factory() {
    return [](QUrl url, QString callbackURLScheme, CompletionHandler completion) {
        return std::make_unique<WebEngineAuthenticationSession>(
            std::move(url), std::move(callbackURLScheme), std::move(completion));
    };
}

void WebEngineAuthenticationSession::setTransientParent(QWindow* window) {
    m_transientParent = window;
}

QString WebEngineAuthenticationSession::titleFor(const QUrl& pageURL) {
    const QString host = pageURL.host();
    return host.isEmpty() ? u"Sign in to LinkedIn"_s : u"Sign in to LinkedIn \u2014 %1"_s.arg(host);
}

bool WebEngineAuthenticationSession::start() {
    if (m_started || !qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        !QGuiApplication::primaryScreen() ||
        QWebEngineUrlScheme::schemeByName(callbackURLScheme().toUtf8()).name().isEmpty()) {
        return false;
    }
    m_started = true;

    m_profile = prefersEphemeralWebBrowserSession() ? new QWebEngineProfile()
                                                    : new QWebEngineProfile(sharedProfileName);
    m_profile->installUrlSchemeHandler(callbackURLScheme().toUtf8(),
                                       new CallbackSchemeHandler(m_profile));

    QWidget* anchor = SignInSheetSession::presentationAnchor();
    m_dialog = new QDialog(anchor);
    m_dialog->setObjectName(u"webAuthenticationSheet"_s);
    m_dialog->setWindowModality(anchor ? Qt::WindowModal : Qt::ApplicationModal);
    m_dialog->setWindowTitle(titleFor(url()));
    m_dialog->resize(480, 640);
    // Until the page paints, the sheet shows the app's page colour, not a flash of white.
    QPalette palette = m_dialog->palette();
    palette.setColor(QPalette::Window, Theme::background());
    m_dialog->setPalette(palette);
    auto* layout = new QVBoxLayout(m_dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new QWebEngineView(m_dialog);
    auto* page = new QWebEnginePage(m_profile, m_view);
    page->setBackgroundColor(Theme::background());
    m_view->setPage(page);
    layout->addWidget(m_view);

    // Only the page's own navigation ends the sign-in: a frame inside it sent to the callback
    // scheme is refused and changes nothing.
    connect(page, &QWebEnginePage::navigationRequested, this,
            [this](QWebEngineNavigationRequest& request) {
                if (request.url().scheme().compare(callbackURLScheme(), Qt::CaseInsensitive) != 0) {
                    return;
                }
                request.reject();
                if (request.isMainFrame()) {
                    finish(request.url(), std::nullopt);
                }
            });

    // The page takes the keys before the dialog would see Escape; as a shortcut of the window
    // it cancels the sign-in as closing the sheet does.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), m_dialog);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, m_dialog, &QDialog::reject);
    connect(m_dialog, &QDialog::finished, this, [this] {
        finish(std::nullopt,
               WebAuthenticationSessionError(WebAuthenticationSessionError::Code::canceledLogin));
    });
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status) {
                if (status != QWebEnginePage::NormalTerminationStatus) {
                    finish(std::nullopt,
                           WebAuthenticationSessionError(
                               WebAuthenticationSessionError::Code::webContentTerminated));
                }
            });
    connect(page, &QWebEnginePage::urlChanged, m_dialog,
            [dialog = m_dialog.data()](const QUrl& pageURL) {
                dialog->setWindowTitle(titleFor(pageURL));
            });

    // The transient parent is set when shown: the web view's surface makes Qt replace the
    // dialog's native window until then.
    m_dialog->installEventFilter(this);
    m_view->load(url());
    m_dialog->open();
    return true;
}

bool WebEngineAuthenticationSession::eventFilter(QObject* watched, QEvent* event) {
    // The dialog's own destruction sends events here too, when it is a QDialog no longer: the
    // type is checked before the pointer is read as one.
    if (event->type() != QEvent::Show || watched != m_dialog) {
        return false;
    }
    if (!m_dialog->parentWidget() && m_transientParent && m_dialog->windowHandle()) {
        m_dialog->windowHandle()->setTransientParent(m_transientParent);
    }
    if (!m_shown) {
        m_shown = true;
        Q_EMIT shown();
    }
    return false;
}

void WebEngineAuthenticationSession::cancel() {
    finish(std::nullopt,
           WebAuthenticationSessionError(WebAuthenticationSessionError::Code::canceledLogin));
}

void WebEngineAuthenticationSession::finish(std::optional<QUrl> callbackURL,
                                            std::optional<WebAuthenticationSessionError> error) {
    if (isCompleted()) {
        return;
    }
    complete(std::move(callbackURL), std::move(error));
    // Called from the page's own signals: the web engine objects go once they have returned.
    tearDown(false);
}

void WebEngineAuthenticationSession::tearDown(bool now) {
    QPointer<QWebEngineProfile> profile = m_profile;
    if (m_dialog) {
        m_dialog->disconnect(this);
        m_dialog->hide();
    }
    // The page goes before its profile: a profile outliving none of its pages is what the
    // web engine expects.
    if (now) {
        delete m_dialog.data();
        delete profile.data();
        return;
    }
    if (m_dialog) {
        connect(m_dialog, &QObject::destroyed, profile, &QObject::deleteLater);
        m_dialog->deleteLater();
    } else if (profile) {
        profile->deleteLater();
    }
}

} // namespace quillon
