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
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>

using namespace Qt::StringLiterals;

namespace {

// Drafts, analytics, the signal cache, crash reports and what the libraries keep for the user
// (fontconfig's per-user cache among them) are the user's private data: every file the process
// creates is 0600 and every folder 0700. Set as the program is loaded, ahead of main() and of
// every static initialiser linked into it, so that nothing is created before: not by the font
// thread that main() starts on its first line, nor by a test's own application object.
// fontconfig makes a cache folder it creates 0755 whatever the umask, so where the user has
// none yet (a stale system cache sends every program to its own), it is made here first.
__attribute__((constructor(101))) void keepWhatTheProcessCreatesPrivate() {
    ::umask(S_IRWXG | S_IRWXO);
    std::filesystem::path cache;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg) {
        cache = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        cache = std::filesystem::path(home) / ".cache";
    } else {
        return;
    }
    // A folder that cannot be made is left to fontconfig, which then fails the same way.
    std::error_code ignored;
    std::filesystem::create_directories(cache / "fontconfig", ignored);
}

} // namespace

namespace quillon {

QuillonDesktopApp::QuillonDesktopApp(const AppBundle& bundle)
    : QuillonDesktopApp(bundle, AppConfiguration::read(bundle)) {}

QuillonDesktopApp::QuillonDesktopApp(const AppBundle& bundle,
                                     std::variant<AppConfiguration, QString> read) {
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

    m_iconFallback = bundle.pathForResource(u"dev.tovrel.quillon"_s, u"svg"_s);
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
            QGuiApplication::setWindowIcon(
                QIcon::fromTheme(u"dev.tovrel.quillon"_s, fallback ? QIcon(*fallback) : QIcon()));
        });
    }
    return *m_window;
}

} // namespace quillon
