#include "app/QuillonDesktopApp.h"

#include "analytics/payload/MainBundle.h"
#include "core/app/AppBundle.h"
#include "core/app/AppConfiguration.h"
#include "core/app/AppContainer.h"
#include "core/app/AppTelemetry.h"
#include "core/storage/DraftStore.h"
#include "crashreporting/CrashReporting.h"
#include "ui/websignin/SignInSheetSession.h"
#include "ui/window/MainWindow.h"

#include <QGuiApplication>
#include <QIcon>
#include <QTimer>
#include <sys/stat.h>

namespace quillon {

QuillonDesktopApp::QuillonDesktopApp(const AppBundle& bundle)
    : QuillonDesktopApp(bundle, AppConfiguration::read(bundle)) {}

QuillonDesktopApp::QuillonDesktopApp(const AppBundle& bundle,
                                     std::variant<AppConfiguration, QString> read) {
    // Drafts, analytics, the signal cache and crash reports are the user's private data: every
    // file the app creates is 0600 and every folder 0700, before anything is written.
    ::umask(S_IRWXG | S_IRWXO);
    const QVariantMap info = bundle.infoDictionary();
    configureCrashReporting(info);
    AppConfiguration configuration = AppConfiguration::orStop(std::move(read));
    // The analytics client reports the app's version and build from the bundle's Info.plist.
    signalpost::MainBundle::setInfoDictionary(info);
    configureAnalytics(configuration.observability);
    sendTelemetryEvent(AppTelemetryEvent::appOpened);
    PlatformServices platform = PlatformServices::system();
    platform.webAuthenticationSessions =
        SignInSheetSession::factory(SignInSheetSession::installedProgram());
    m_container = std::make_unique<AppContainer>(configuration, std::move(platform));
    // Every way out keeps the unsaved editor text: a quit, and the desktop session ending
    // (which may end the process without a quit). A kill is covered by the store's pause.
    DraftStore* drafts = &m_container->draftStore();
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, drafts,
                     &DraftStore::keepUnsavedText);
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QObject::connect(gui, &QGuiApplication::commitDataRequest, drafts,
                         [drafts] { drafts->keepUnsavedText(); });
    }

    m_iconFallback =
        bundle.pathForResource(QStringLiteral("dev.tovrel.quillon"), QStringLiteral("svg"));
}

QuillonDesktopApp::~QuillonDesktopApp() = default;

MainWindow& QuillonDesktopApp::showWindow() {
    if (!m_window) {
        m_window = std::make_unique<MainWindow>(*m_container);
    }
    m_window->show();
    // After the window set the drafts' owner, whose reset would clear it.
    if (!m_storageNoticeShown) {
        m_storageNoticeShown = true;
        if (const auto& notice = m_container->storageNotice()) {
            m_container->draftStore().setStatusMessage(*notice);
        }
    }
    if (!m_iconSet) {
        m_iconSet = true;
        // Scanning the icon themes and drawing the icon's pictures would hold the window back
        // for several milliseconds; the icon follows once the window is on the screen.
        QTimer::singleShot(0, [fallback = m_iconFallback] {
            QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("dev.tovrel.quillon"),
                                                            fallback ? QIcon(*fallback) : QIcon()));
        });
    }
    return *m_window;
}

} // namespace quillon
