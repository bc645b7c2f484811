#include "core/model/FeedbackImageLoader.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QWaitCondition>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quillon;
using Outcome = ImageFileRead::Outcome;

namespace {

// A read that answers only when released, as a file on a stalled network mount. The state is
// shared with the loader's thread, which may outlive the test's objects.
struct Gate {
    QMutex mutex;
    QWaitCondition opened;
    QSemaphore entered;
    bool open = false;

    void release() {
        QMutexLocker lock(&mutex);
        open = true;
        opened.wakeAll();
    }
};

FeedbackImageLoader::ReadFile heldAt(const QString& held, std::shared_ptr<Gate> gate) {
    return [held, gate](const QString& path) {
        if (path == held) {
            gate->entered.release();
            QMutexLocker lock(&gate->mutex);
            while (!gate->open) {
                gate->opened.wait(&gate->mutex);
            }
        }
        return ImageFileRead{Outcome::read, path.toUtf8()};
    };
}

} // namespace

class TestFeedbackImageLoader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsRegularFilesAndRefusesTheRest_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("image") << u"file"_s << int(Outcome::read) << QByteArray("\x89PNG", 4);
        QTest::newRow("empty") << u"empty"_s << int(Outcome::unreadable) << QByteArray();
        QTest::newRow("gone") << u"gone"_s << int(Outcome::unreadable) << QByteArray();
        // A pipe without writer blocks a plain open for reading.
        QTest::newRow("pipe") << u"pipe"_s << int(Outcome::notAFile) << QByteArray();
        QTest::newRow("folder") << u"folder"_s << int(Outcome::notAFile) << QByteArray();
        QTest::newRow("device") << u"device"_s << int(Outcome::notAFile) << QByteArray();
        QTest::newRow("socket") << u"socket"_s << int(Outcome::notAFile) << QByteArray();
        QTest::newRow("link to an image")
            << u"link"_s << int(Outcome::read) << QByteArray("\x89PNG", 4);
    }
    void readsRegularFilesAndRefusesTheRest() {
        QFETCH(QString, kind);
        QFETCH(int, outcome);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        QString path = dir.filePath(u"picked.png"_s);
        const QByteArray name = QFile::encodeName(path);
        int socketFd = -1;
        if (kind == u"file"_s || kind == u"empty"_s || kind == u"link"_s) {
            QFile file(dir.filePath(u"image.png"_s));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(kind == u"empty"_s ? QByteArray() : bytes),
                     kind == u"empty"_s ? 0 : bytes.size());
            file.close();
            QVERIFY(kind == u"link"_s ? QFile::link(file.fileName(), path)
                                      : QFile::rename(file.fileName(), path));
        } else if (kind == u"pipe"_s) {
            QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        } else if (kind == u"folder"_s) {
            QVERIFY(QDir().mkdir(path));
        } else if (kind == u"device"_s) {
            path = u"/dev/null"_s;
        } else if (kind == u"socket"_s) {
            socketFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            QVERIFY(socketFd >= 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            QVERIFY(size_t(name.size()) < sizeof(address.sun_path));
            std::copy(name.begin(), name.end(), address.sun_path);
            QCOMPARE(::bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        }
        const ImageFileRead read = FeedbackImageLoader::readImageFile(path);
        if (socketFd >= 0) {
            ::close(socketFd);
        }
        QCOMPARE(int(read.outcome), outcome);
        QCOMPARE(read.bytes, bytes);
    }

    void aStuckReadDoesNotHoldALaterLoad() {
        auto gate = std::make_shared<Gate>();
        FeedbackImageLoader loader(heldAt(u"stuck"_s, gate));
        const QFuture<FeedbackImageLoad> stuck = loader.load({u"stuck"_s});
        QVERIFY(gate->entered.tryAcquire(1, 60000));
        // More stuck loads than a one-CPU machine's ideal thread count still leave room.
        QList<QFuture<FeedbackImageLoad>> alsoStuck;
        for (int i = 1; i < FeedbackImageLoader::maximumConcurrentLoads - 1; ++i) {
            alsoStuck.append(loader.load({u"stuck"_s}));
        }
        QVERIFY(gate->entered.tryAcquire(FeedbackImageLoader::maximumConcurrentLoads - 2, 60000));
        const QFuture<FeedbackImageLoad> fresh = loader.load({u"fresh"_s});
        QTRY_VERIFY(fresh.isFinished());
        QCOMPARE(fresh.result().attachments.size(), 1);
        QCOMPARE(fresh.result().attachments.at(0).content, QByteArray("fresh").toBase64());
        QVERIFY(!stuck.isFinished());

        gate->release();
        QTRY_VERIFY(stuck.isFinished());
        QCOMPARE(stuck.result().attachments.at(0).content, QByteArray("stuck").toBase64());
    }

    void aStuckReadDoesNotHoldTheLoadersEnd() {
        auto gate = std::make_shared<Gate>();
        QFuture<FeedbackImageLoad> stuck;
        {
            FeedbackImageLoader loader(heldAt(u"stuck"_s, gate));
            stuck = loader.load({u"stuck"_s});
            QVERIFY(gate->entered.tryAcquire(1, 60000));
        }
        // Gone without waiting; the read, once it returns, still completes its load.
        QVERIFY(!stuck.isFinished());
        gate->release();
        QTRY_VERIFY(stuck.isFinished());
        QCOMPARE(stuck.result().attachments.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestFeedbackImageLoader)
#include "tst_feedbackimageloader.moc"
