#include "app/QuillonDesktopApp.h"
#include "core/app/AppBundle.h"
#include "core/app/AppContainer.h"
#include "core/app/AppTelemetry.h"
#include "core/backend/LinkedInAuthService.h"
#include "core/storage/AuthTokenStore.h"
#include "core/storage/DraftStore.h"
#include "core/storage/LinkedInSessionStore.h"
#include "core/storage/SecretServiceKeychain.h"
#include "core/storage/SqliteUserDefaults.h"
#include "core/storage/UserDefaultsDraftRepository.h"
#include "ui/window/MainWindow.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>
#include <algorithm>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace quillon;

namespace {

const QByteArray validConfiguration = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>api</key><dict><key>baseURL</key><string>http://127.0.0.1:9/</string></dict>
<key>linkedIn</key><dict><key>callbackURLScheme</key><string>quillon</string></dict>
<key>storage</key><dict><key>draftsKey</key><string>test.drafts</string><key>linkedInTokenKey</key><string>test.token</string></dict>
</dict></plist>
)";

// A copy of the built program in a bundle of its own: <dir>/bin/quillon, <dir>/share/quillon/.
struct Bundle {
    QTemporaryDir dir;

    Bundle() {
        QDir(dir.path()).mkpath(u"bin"_s);
        QDir(dir.path()).mkpath(u"share/quillon"_s);
        const QString built = qEnvironmentVariable("QUILLON_BUILD_DIR") + u"/bin/quillon"_s;
        QFile::copy(built, program());
    }
    QString program() const { return dir.filePath(u"bin/quillon"_s); }
    QString resources() const { return dir.filePath(u"share/quillon"_s); }
    void writeConfiguration(const QByteArray& bytes) const {
        QFile file(resources() + u"/AppConfiguration.plist"_s);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
    }
};

// A resources folder holding a valid configuration, as the bundle gives the app.
struct Resources {
    QTemporaryDir dir;
    Resources() {
        QFile file(dir.filePath(u"AppConfiguration.plist"_s));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(validConfiguration);
        }
    }
    QString path() const { return dir.path(); }
    QString filePath(const QString& name) const { return dir.filePath(name); }
};

// A member connected at an earlier launch: their token in the session's keyring.
LinkedInToken storeConnectedMember(const QString& memberID, const QString& name) {
    LinkedInToken token;
    token.accessToken = u"access"_s;
    token.profile.memberID = memberID;
    token.profile.name = name;
    token.connectedAt = QDateTime(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc());
    AuthTokenStore(u"test.token"_s, AppContainer::keychainService(),
                   std::make_shared<SecretServiceKeychain>())
        .save(token);
    return token;
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void invalidConfigurationStopsTheProgram_data() {
        QTest::addColumn<std::optional<QByteArray>>("configuration");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << std::optional<QByteArray>()
                                 << u"Missing AppConfiguration.plist\n"_s;
        QTest::newRow("corrupt")
            << std::optional<QByteArray>("<plist><dict><key>api")
            << u"Invalid AppConfiguration.plist: The data couldn't be read because it isn't in the correct format.\n"_s;
        QTest::newRow("truncated binary")
            << std::optional<QByteArray>(QByteArray("bplist00\xd3\x01\x05", 11))
            << u"Invalid AppConfiguration.plist: The data couldn't be read because it isn't in the correct format.\n"_s;
        QTest::newRow("text holding NUL")
            << std::optional<QByteArray>(QByteArray(validConfiguration)
                                             .replace("<string>quillon</string>",
                                                      QByteArray("<string>quil\0lon</string>", 25)))
            << u"Invalid AppConfiguration.plist: The data couldn't be read because it isn't in the correct format.\n"_s;
        QTest::newRow("missing key")
            << std::optional<QByteArray>(
                   QByteArray(validConfiguration)
                       .replace("<key>draftsKey</key><string>test.drafts</string>", ""))
            << u"Invalid AppConfiguration.plist: No value associated with key \"storage.draftsKey\".\n"_s;
    }

    void invalidConfigurationStopsTheProgram() {
        QFETCH(std::optional<QByteArray>, configuration);
        QFETCH(QString, message);
        Bundle bundle;
        QVERIFY(QFileInfo(bundle.program()).isExecutable());
        if (configuration) {
            bundle.writeConfiguration(*configuration);
        }
        QProcess process;
        process.start(bundle.program());
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY(process.exitCode() != 0);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()), message);
    }

    // Started by a desktop session (umask 022) on a machine whose system font cache is stale,
    // the program writes a font cache of the user's own from its first line on: private too.
    void theFontCacheTheProgramWritesIsPrivate() {
        Bundle bundle;
        const QString cache = bundle.dir.filePath(u"cache"_s);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"FONTCONFIG_FILE"_s, qEnvironmentVariable("QUILLON_SOURCE_DIR") +
                                                     u"/app/tests/own-font-cache.conf"_s);
        environment.insert(u"XDG_CACHE_HOME"_s, cache);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setChildProcessModifier([] { ::umask(S_IWGRP | S_IWOTH); });
        // With no configuration the program stops once the fonts are read.
        process.start(bundle.program());
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
                 u"Missing AppConfiguration.plist\n"_s);

        const QString fonts = cache + u"/fontconfig"_s;
        QCOMPARE(QFile::permissions(fonts) & 0x0777, QFileDevice::Permissions(0x0700));
        const QFileInfoList written = QDir(fonts).entryInfoList(QDir::Files | QDir::Hidden);
        QVERIFY(std::any_of(written.cbegin(), written.cend(), [](const QFileInfo& file) {
            return file.fileName().contains(u".cache-"_s);
        }));
        for (const QFileInfo& file : written) {
            QVERIFY2((file.permissions() & 0x0777) == QFileDevice::Permissions(0x0600),
                     qPrintable(file.filePath()));
        }
    }

    void startUpBuildsOneSharedContainerAndOpensTheWindow() {
        const Resources resources;

        // A connected member from an earlier launch, with drafts of their own.
        const LinkedInToken token = storeConnectedMember(u"member-7"_s, u"Grace"_s);
        UserDefaultsDraftRepository repository(u"test.drafts"_s, SqliteUserDefaults::standard());
        const QDateTime now = QDateTime::currentDateTimeUtc();
        repository.saveDrafts({{QUuid::createUuid(), u"member draft"_s, now, now}}, u"member-7"_s);

        QVERIFY(QFile::copy(qEnvironmentVariable("QUILLON_BUILD_DIR") +
                                u"/share/quillon/dev.tovrel.quillon.svg"_s,
                            resources.filePath(u"dev.tovrel.quillon.svg"_s)));

        // As main() does: the token is read while the rest starts.
        auto configuration = AppConfiguration::read(AppBundle(resources.path()));
        AppContainer::readTokenAhead(std::get<AppConfiguration>(configuration));
        QuillonDesktopApp app{AppBundle(resources.path()), std::move(configuration)};
        AppContainer& container = app.container();
        QVERIFY(!isTelemetryConfigured());
        QCOMPARE(container.configuration().storage.draftsKey, u"test.drafts"_s);
        QCOMPARE(&container.authService().tokenStore(), container.tokenStore().get());
        QCOMPARE(&container.linkedInSessionStore().tokenStore(), container.tokenStore().get());
        QCOMPARE(&container.draftStore().draftRepository(), container.draftRepository().get());
        QCOMPARE(container.linkedInSessionStore().token(), std::optional<LinkedInToken>(token));
        // Before the window shows, the signed-out list is loaded.
        QCOMPARE(container.draftStore().ownerID(), std::nullopt);
        QVERIFY(container.draftStore().drafts().isEmpty());

        // The icon follows the window.
        QVERIFY(QGuiApplication::windowIcon().isNull());
        MainWindow& window = app.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(!QGuiApplication::windowIcon().isNull());
        QCOMPARE(window.size(), QSize(900, 650));
        QCOMPARE(window.minimumSize(), QSize(720, 500));
        QCOMPARE(container.draftStore().ownerID(), std::optional<QString>(u"member-7"_s));
        QCOMPARE(container.draftStore().drafts().size(), 1);
        QCOMPARE(container.draftStore().editorText(), u"Write a LinkedIn post..."_s);

        // A sign-out elsewhere switches the drafts back to the signed-out list.
        container.linkedInSessionStore().signOut();
        QCOMPARE(container.draftStore().ownerID(), std::nullopt);
        QVERIFY(container.draftStore().drafts().isEmpty());
    }

    // Leaving the event loop, as a quit does, keeps the unsaved text for the next start.
    void quittingKeepsUnsavedTextForTheNextStart() {
        const Resources resources;
        const QString typed = u"typed, then quit"_s;
        {
            QuillonDesktopApp app{AppBundle(resources.path())};
            MainWindow& window = app.showWindow();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            app.container().draftStore().setEditorText(typed);
            // Only the loop ends: no window is closed, and the pause is far from over.
            QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
            QCOMPARE(QCoreApplication::exec(), 0);
        }
        // The store as the next process finds it.
        UserDefaultsDraftRepository repository(
            u"test.drafts"_s,
            std::make_shared<SqliteUserDefaults>(SqliteUserDefaults::standardPath()));
        QCOMPARE(repository.loadUnsavedText().value_or(UnsavedText()).text, typed);

        QuillonDesktopApp next{AppBundle(resources.path())};
        MainWindow& window = next.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(next.container().draftStore().editorText(), typed);
    }

    // A store SQLite finds damaged is set aside: the first window opens on an empty store and
    // its status says so, also past the reset that a connected member's drafts bring; the next
    // start says nothing.
    void aDamagedStoreIsToldOnceAtStart() {
        const Resources resources;
        const QString path = SqliteUserDefaults::standardPath();
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile damaged(path);
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("drafts, but not a database");
        damaged.close();
        storeConnectedMember(u"member-8"_s, u"Ada"_s);

        for (const bool first : {true, false}) {
            QuillonDesktopApp app{AppBundle(resources.path()),
                                  AppConfiguration::read(AppBundle(resources.path()))};
            MainWindow& window = app.showWindow();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            const DraftStore& drafts = app.container().draftStore();
            QCOMPARE(drafts.ownerID(), std::optional<QString>(u"member-8"_s));
            QVERIFY(drafts.drafts().isEmpty());
            if (first) {
                const QString message = drafts.statusMessage().value_or(QString());
                QVERIFY2(message.startsWith(u"Saved drafts could not be read and were kept in "
                                            "defaults.sqlite3.damaged-"_s),
                         qPrintable(message));
                QVERIFY(message.endsWith(u". Starting with no drafts."_s));
            } else {
                QCOMPARE(drafts.statusMessage(), std::nullopt);
            }
        }
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
