#include "core/storage/DraftStore.h"
#include "core/storage/SqliteUserDefaults.h"
#include "core/storage/UserDefaultsDraftRepository.h"
#include "core/tests/StorageFaults.h"
#include "tests/support/DraftBodies.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;

namespace {

QStringList bodiesIn(const std::shared_ptr<UserDefaults>& defaults,
                     const std::optional<QString>& owner) {
    return bodiesOf(UserDefaultsDraftRepository(u"drafts"_s, defaults).loadDrafts(owner));
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode) {
    QFile file(path);
    return file.open(mode) && file.write(bytes) == bytes.size();
}

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// The files in `folder` but the log and shared memory of a database still open.
QStringList filesOf(const QString& folder) {
    QStringList files = entriesOf(folder);
    files.removeIf(
        [](const QString& name) { return name.endsWith(u"-wal"_s) || name.endsWith(u"-shm"_s); });
    return files;
}

// A database folder and the config folder an earlier version kept its INI file in.
struct Folders {
    QTemporaryDir dir;
    QString data = dir.filePath(u"data/quillon"_s);
    QString path = data + u"/defaults.sqlite3"_s;
    QString ini = dir.filePath(u"config/quillon/quillon.ini"_s);

    // The old build's file: two members' drafts, the signed-out drafts, a pending keychain
    // deletion, and a stray line Qt's reader skips.
    bool placeOldIni() const {
        return QDir().mkpath(QFileInfo(ini).path()) &&
               QFile::copy(qEnvironmentVariable("QUILLON_SOURCE_DIR") +
                               u"/core/tests/fixtures/quillon.ini"_s,
                           ini);
    }
    std::shared_ptr<SqliteUserDefaults> open() const {
        return std::make_shared<SqliteUserDefaults>(path, ini);
    }
};

} // namespace

class TestSqliteUserDefaults : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void writesReadBackAndTheLastKeyCanGo() {
        Folders f;
        {
            auto defaults = f.open();
            QCOMPARE(defaults->write({{u"a"_s, QByteArray("1")}, {u"b"_s, QByteArray()}}),
                     StorageWriteStatus::written);
            QCOMPARE(defaults->value(u"b"_s), std::optional<QByteArray>(QByteArray()));
            QCOMPARE(defaults->remove(u"a"_s), StorageWriteStatus::written);
            QCOMPARE(defaults->remove(u"b"_s), StorageWriteStatus::written);
            QCOMPARE(defaults->keys(QString()), QStringList());
        }
        // The next start finds the store empty, and can write to it.
        auto next = f.open();
        QCOMPARE(next->keys(QString()), QStringList());
        QCOMPARE(next->setValue(u"c"_s, QByteArray("3")), StorageWriteStatus::written);
        QCOMPARE(next->setAsideFile(), std::nullopt);
        QCOMPARE(QFile::permissions(f.path) & 0x0777,
                 QFileDevice::ReadUser | QFileDevice::WriteUser);
        QCOMPARE(QFile::permissions(f.data) & 0x0777,
                 QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
    }

    // What SQLite reads whole is kept as it is; a file it finds damaged is moved aside, never
    // written, and the store starts empty and says so at that start only.
    void aDamagedStoreIsSetAsideOnce_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("setAside");
        QTest::newRow("a stray line appended") << u"append line"_s << false;
        QTest::newRow("garbage appended") << u"append garbage"_s << false;
        QTest::newRow("its header overwritten") << u"header"_s << true;
        QTest::newRow("a table page overwritten") << u"page"_s << true;
        QTest::newRow("cut short") << u"truncate"_s << true;
        QTest::newRow("a text file in its place") << u"text"_s << true;
    }
    void aDamagedStoreIsSetAsideOnce() {
        QFETCH(QString, damage);
        QFETCH(bool, setAside);
        Folders f;
        const QDateTime when = QDateTime(QDate(2026, 12, 10), QTime(9, 0), Qt::UTC);
        QList<Draft> drafts;
        for (int i = 0; i < 15; ++i) {
            drafts.append({QUuid::createUuid(), QString(3000, QChar(u'a' + i)), when, when});
        }
        {
            auto defaults = f.open();
            QCOMPARE(
                UserDefaultsDraftRepository(u"drafts"_s, defaults).saveDrafts(drafts, std::nullopt),
                StorageWriteStatus::written);
            QCOMPARE(defaults->setValue(u"other"_s, QByteArray("kept")),
                     StorageWriteStatus::written);
        }
        QByteArray bytes = contents(f.path);
        QVERIFY(bytes.size() > 8 * 4096);
        if (damage == u"append line"_s) {
            bytes += "[broken\n";
        } else if (damage == u"append garbage"_s) {
            for (int i = 0; i < 5000; ++i) {
                bytes += char(QRandomGenerator::global()->bounded(256));
            }
        } else if (damage == u"header"_s) {
            bytes.replace(0, 100, QByteArray(100, '#'));
        } else if (damage == u"page"_s) {
            // The schema page and the first table page.
            bytes.replace(0 + 100, 8000, QByteArray(8000, '\x5a'));
        } else if (damage == u"truncate"_s) {
            bytes.truncate(bytes.size() / 2);
        } else {
            bytes = "drafts.signed-out=[]\n";
        }
        QVERIFY(writeFile(f.path, bytes, QIODevice::WriteOnly | QIODevice::Truncate));

        auto defaults = f.open();
        if (!setAside) {
            QCOMPARE(defaults->setAsideFile(), std::nullopt);
            QCOMPARE(bodiesIn(defaults, std::nullopt), bodiesOf(drafts));
            QCOMPARE(defaults->setValue(u"later"_s, QByteArray("x")), StorageWriteStatus::written);
            QCOMPARE(bodiesIn(f.open(), std::nullopt), bodiesOf(drafts));
            QCOMPARE(filesOf(f.data), QStringList{u"defaults.sqlite3"_s});
            return;
        }
        const std::optional<QString> aside = defaults->setAsideFile();
        QVERIFY(aside);
        QCOMPARE(QFileInfo(*aside).path(), f.data);
        QVERIFY2(
            QFileInfo(*aside).fileName().startsWith(u"defaults.sqlite3.damaged-"_s +
                                                    QDate::currentDate().toString(u"yyyy-MM-dd"_s)),
            qPrintable(*aside));
        QCOMPARE(contents(*aside), bytes);
        QCOMPARE(defaults->keys(QString()), QStringList());
        QCOMPARE(defaults->setValue(u"later"_s, QByteArray("x")), StorageWriteStatus::written);
        QCOMPARE(contents(*aside), bytes);

        // Said once: the next start finds a sound store.
        auto next = f.open();
        QCOMPARE(next->setAsideFile(), std::nullopt);
        QCOMPARE(next->value(u"later"_s), std::optional<QByteArray>("x"));
        QCOMPARE(filesOf(f.data).size(), 2);
    }

    // A damaged store that cannot be moved is left exactly as it is.
    void aDamagedStoreInAReadOnlyFolderIsNotWritten() {
        Folders f;
        QVERIFY(QDir().mkpath(f.data));
        const QByteArray damaged = "not a database";
        QVERIFY(writeFile(f.path, damaged, QIODevice::WriteOnly));
        {
            ReadOnlyFolder readOnly(f.data);
            if (!readOnly.isActive()) {
                QSKIP("Running as root without the right to set its own capabilities: a "
                      "read-only folder cannot stop this process writing.");
            }
            auto defaults = f.open();
            QCOMPARE(defaults->setAsideFile(), std::nullopt);
            QCOMPARE(defaults->value(u"drafts.signed-out"_s), std::nullopt);
            QCOMPARE(defaults->setValue(u"drafts.signed-out"_s, QByteArray("[]")),
                     StorageWriteStatus::readOnly);
        }
        QCOMPARE(contents(f.path), damaged);
        QCOMPARE(entriesOf(f.data), QStringList{u"defaults.sqlite3"_s});
    }

    // The first start brings in the old build's INI file whole, and leaves it as it was.
    void theOldIniIsImportedOnce() {
        Folders f;
        QVERIFY(f.placeOldIni());
        const QByteArray iniBytes = contents(f.ini);
        const QDateTime iniModified = QFileInfo(f.ini).lastModified();
        {
            auto defaults = f.open();
            QCOMPARE(bodiesIn(defaults, u"member-7"_s),
                     QStringList({u"Hello, world \U0001F680 caf\u00e9 \"quoted\"\nsecond line"_s,
                                  u"a, b"_s}));
            QCOMPARE(bodiesIn(defaults, u"member-9"_s), QStringList{u"Grace's draft"_s});
            QCOMPARE(bodiesIn(defaults, std::nullopt), QStringList{u"Written while signed out"_s});
            QCOMPARE(defaults->value(u"linkedin.token.pendingDeletion"_s),
                     std::optional<QByteArray>("token"));
            QCOMPARE(defaults->keys(QString()).size(), 4);
            // The next write changes the database alone.
            QCOMPARE(UserDefaultsDraftRepository(u"drafts"_s, defaults).deleteDrafts(u"member-9"_s),
                     StorageWriteStatus::written);
        }
        QCOMPARE(contents(f.ini), iniBytes);
        QCOMPARE(QFileInfo(f.ini).lastModified(), iniModified);
        // The next start does not bring it in again.
        auto next = f.open();
        QCOMPARE(bodiesIn(next, u"member-9"_s), QStringList());
        QCOMPARE(bodiesIn(next, std::nullopt), QStringList{u"Written while signed out"_s});
    }

    // Where the database cannot be made at the first start, the old file's drafts still show,
    // and the first write that can be made brings them in with it.
    void anImportThatCannotBeWrittenYetIsMadeWithTheNextWrite() {
        Folders f;
        QVERIFY(f.placeOldIni());
        QVERIFY(QDir().mkpath(f.data));
        auto defaults = std::shared_ptr<SqliteUserDefaults>();
        {
            ReadOnlyFolder readOnly(f.data);
            if (!readOnly.isActive()) {
                QSKIP("Running as root without the right to set its own capabilities: a "
                      "read-only folder cannot stop this process writing.");
            }
            defaults = f.open();
            QCOMPARE(bodiesIn(defaults, u"member-9"_s), QStringList{u"Grace's draft"_s});
            DraftStore store(std::make_shared<UserDefaultsDraftRepository>(u"drafts"_s, defaults),
                             {});
            QCOMPARE(bodiesOf(store.drafts()), QStringList{u"Written while signed out"_s});
            store.setEditorText(u"new"_s);
            store.saveDraft();
            QCOMPARE(store.statusMessage(),
                     std::optional<QString>(u"Draft not saved: the drafts folder is read-only."_s));
        }
        QCOMPARE(defaults->setValue(u"other"_s, QByteArray("1")), StorageWriteStatus::written);
        auto next = f.open();
        QCOMPARE(bodiesIn(next, u"member-9"_s), QStringList{u"Grace's draft"_s});
        QCOMPARE(next->keys(QString()).size(), 5);
    }

    // Neither reading, importing, saving nor deleting needs TMPDIR.
    void noScratchFilesAnywhere_data() {
        QTest::addColumn<QString>("tmpdir");
        QTest::newRow("TMPDIR missing (as a full or absent /tmp)") << u"missing"_s;
        QTest::newRow("TMPDIR an empty folder") << u"empty"_s;
    }
    void noScratchFilesAnywhere() {
        QFETCH(QString, tmpdir);
        Folders f;
        QVERIFY(f.placeOldIni());
        const QString scratch = f.dir.filePath(u"scratch"_s);
        if (tmpdir == u"empty"_s) {
            QVERIFY(QDir().mkpath(scratch));
        }
        const QByteArray previous = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(scratch));
        {
            DraftStore store(std::make_shared<UserDefaultsDraftRepository>(u"drafts"_s, f.open()),
                             {});
            QCOMPARE(bodiesOf(store.drafts()), QStringList{u"Written while signed out"_s});
            store.setEditorText(u"saved without TMPDIR"_s);
            store.saveDraft();
            QCOMPARE(store.statusMessage(), std::optional<QString>(u"Draft saved"_s));
            store.setOwner(u"member-7"_s);
            QCOMPARE(store.drafts().size(), 2);
            store.deleteDraft(store.drafts().first().id);
            QCOMPARE(store.statusMessage(), std::nullopt);
            store.clearAllLocal(u"member-9"_s);
            QCOMPARE(store.statusMessage(), std::nullopt);
        }
        auto next = f.open();
        QCOMPARE(bodiesIn(next, u"member-7"_s), QStringList{u"a, b"_s});
        QCOMPARE(bodiesIn(next, std::nullopt), QStringList());
        qputenv("TMPDIR", previous);
        if (tmpdir == u"empty"_s) {
            QCOMPARE(entriesOf(scratch), QStringList());
        } else {
            QVERIFY(!QFileInfo::exists(scratch));
        }
    }

    // A process killed at random moments of 500 saves: every save it reported done is there
    // after each kill, and nothing is left anywhere but the database.
    void savesReportedDoneSurviveKill9() {
        Folders f;
        const QString saver = qEnvironmentVariable("QUILLON_BUILD_DIR") + u"/tests/draft_saver"_s;
        QVERIFY(QFileInfo(saver).isExecutable());
        const QString scratch = f.dir.filePath(u"scratch"_s);
        QVERIFY(QDir().mkpath(scratch));
        QVERIFY(QDir().mkpath(f.data));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TMPDIR"_s, scratch);

        QSet<int> reported;
        int next = 1;
        int kills = 0;
        for (int round = 0; next <= 500 && round < 400; ++round) {
            QProcess child;
            child.setProcessEnvironment(environment);
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(saver, {f.path, QString::number(next)});
            QVERIFY(child.waitForStarted());
            // The kill lands after a random number of reported saves, then a random fraction of
            // a save: a clock-based kill misses every save on a disk fast enough to finish first.
            const int killAfter = next + QRandomGenerator::global()->bounded(0, 12);
            QByteArray output;
            int lastReported = 0;
            while (lastReported < killAfter && child.state() == QProcess::Running) {
                child.waitForReadyRead(1000);
                output += child.readAllStandardOutput();
                const qsizetype end = output.lastIndexOf("saved ");
                if (end >= 0 && output.indexOf('\n', end) > 0) {
                    lastReported = output.mid(end + 6).split('\n').first().toInt();
                }
            }
            if (child.state() == QProcess::Running) {
                QThread::usleep(QRandomGenerator::global()->bounded(0, 2000));
                ::kill(pid_t(child.processId()), SIGKILL);
                QVERIFY(child.waitForFinished());
                ++kills;
            } else {
                QCOMPARE(child.exitStatus(), QProcess::NormalExit);
                QCOMPARE(child.exitCode(), 0);
            }
            output += child.readAllStandardOutput();
            for (const QByteArray& line : output.split('\n')) {
                if (line.startsWith("saved ")) {
                    const int n = line.mid(6).toInt();
                    reported.insert(n);
                    next = std::max(next, n + 1);
                }
            }
            const auto defaults = std::make_shared<SqliteUserDefaults>(f.path);
            QCOMPARE(defaults->setAsideFile(), std::nullopt);
            UserDefaultsDraftRepository repository(u"drafts"_s, defaults);
            for (const int n : std::as_const(reported)) {
                const QStringList bodies =
                    bodiesOf(repository.loadDrafts(u"owner-%1"_s.arg(n % 100)));
                QVERIFY2(bodies.contains(u"draft %1"_s.arg(n)), qPrintable(QString::number(n)));
            }
        }
        qInfo("%d saves, killed %d times", next - 1, kills);
        QCOMPARE(next, 501);
        QVERIFY2(kills > 0, "every run ended before it was killed");
        QCOMPARE(entriesOf(scratch), QStringList());
        QCOMPARE(entriesOf(f.data), QStringList{u"defaults.sqlite3"_s});
    }
};

QTEST_GUILESS_MAIN(TestSqliteUserDefaults)
#include "tst_sqliteuserdefaults.moc"
