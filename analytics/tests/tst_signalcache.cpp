#include "analytics/pipeline/SignalCache.h"
#include "analytics/tests/LogRecorder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using signalpost::SignalCache;
using signalpost::SignalPostBody;

namespace {

SignalPostBody body(const QString& type) {
    SignalPostBody b;
    b.receivedAt = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 250), QTimeZone::utc());
    b.appID = QStringLiteral("APP");
    b.clientUser = QStringLiteral("user");
    b.sessionID = QStringLiteral("SESSION");
    b.type = type;
    b.isTestMode = QStringLiteral("false");
    return b;
}

QList<SignalPostBody> bodies(int count, const QString& prefix = QStringLiteral("s")) {
    QList<SignalPostBody> list;
    for (int i = 0; i < count; ++i) {
        list.append(body(prefix + QString::number(i)));
    }
    return list;
}

QStringList types(const QList<SignalPostBody>& list) {
    QStringList result;
    for (const auto& b : list) {
        result.append(b.type);
    }
    return result;
}

QStringList drain(SignalCache& cache) {
    QStringList result;
    for (auto batch = cache.pop(); !batch.isEmpty(); batch = cache.pop()) {
        result += types(batch);
    }
    return result;
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

} // namespace

class SignalCacheTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void trimsOldestBeyondLimit();
    void popsAtMostHundredOldestFirst();
    void pushedBackBatchWaitsBehindNewer();
    void withoutFileOnlyLogsTheLookup();
    void loadsFileAheadOfNewBodies();
    void unreadableFileIsDeletedAndDropped_data();
    void unreadableFileIsDeletedAndDropped();
    void oversizedFileKeepsNewest();
    void saveWritesEveryBodyAndEmptiesQueue();
    void failedSaveKeepsQueue();
    void defaultFileLivesInUserCacheFolder();

private:
    QTemporaryDir m_dir;
    QString m_path;
    LogRecorder m_log;
};

void SignalCacheTest::init() {
    m_path = m_dir.filePath(QStringLiteral("telemetrysignalcache"));
    QFile::remove(m_path);
    m_log.clear();
}

void SignalCacheTest::trimsOldestBeyondLimit() {
    SignalCache cache(m_log.handler(), 3, m_path);
    cache.push(QList<SignalPostBody>{body("A"), body("B"), body("C")});
    cache.push(body("D"));
    QCOMPARE(drain(cache), (QStringList{"B", "C", "D"}));

    SignalCache none(m_log.handler(), -5, m_path);
    none.push(body("A"));
    QCOMPARE(none.count(), 0);
}

void SignalCacheTest::popsAtMostHundredOldestFirst() {
    SignalCache cache(m_log.handler(), 10000, m_path);
    cache.push(bodies(250));
    const auto first = cache.pop();
    QCOMPARE(first.size(), 100);
    QCOMPARE(first.first().type, QStringLiteral("s0"));
    QCOMPARE(first.last().type, QStringLiteral("s99"));
    QCOMPARE(cache.count(), 150);
    QCOMPARE(cache.pop().size(), 100);
    const auto third = cache.pop();
    QCOMPARE(third.size(), 50);
    QCOMPARE(third.last().type, QStringLiteral("s249"));
    QVERIFY(cache.pop().isEmpty());
}

void SignalCacheTest::pushedBackBatchWaitsBehindNewer() {
    SignalCache cache(m_log.handler(), 10000, m_path);
    cache.push(bodies(100, "old"));
    const auto batch = cache.pop();
    cache.push(bodies(120, "new"));
    cache.push(batch);
    const auto next = cache.pop();
    QCOMPARE(next.first().type, QStringLiteral("new0"));
    QCOMPARE(next.last().type, QStringLiteral("new99"));
    const auto after = cache.pop();
    QCOMPARE(after.first().type, QStringLiteral("new100"));
    QCOMPARE(after.at(20).type, QStringLiteral("old0"));

    // When full, the limit drops the oldest waiting bodies, not the batch put back.
    SignalCache full(m_log.handler(), 4, m_path);
    full.push(QList<SignalPostBody>{body("A"), body("B")});
    const auto sent = full.pop();
    full.push(QList<SignalPostBody>{body("C"), body("D"), body("E")});
    full.push(sent);
    QCOMPARE(drain(full), (QStringList{"D", "E", "A", "B"}));
}

void SignalCacheTest::withoutFileOnlyLogsTheLookup() {
    SignalCache cache(m_log.handler(), 10, m_path);
    QCOMPARE(m_log.lines(), QStringList{QStringLiteral("INFO Loading Telemetry cache from: ") +
                                        QUrl::fromLocalFile(m_path).toString()});
    QCOMPARE(cache.count(), 0);
}

void SignalCacheTest::loadsFileAheadOfNewBodies() {
    writeFile(m_path, *SignalPostBody::encodeArray(bodies(12, "cached"),
                                                   SignalPostBody::DateForm::referenceDate));
    SignalCache cache(m_log.handler(), 100, m_path);
    QVERIFY(!QFile::exists(m_path));
    QCOMPARE(m_log.lines().value(1), QStringLiteral("INFO Loaded 12 signals"));
    cache.push(body("fresh"));
    const auto batch = cache.pop();
    QCOMPARE(batch.size(), 13);
    QVERIFY(batch.first() == body("cached0"));
    QCOMPARE(batch.last().type, QStringLiteral("fresh"));
}

void SignalCacheTest::unreadableFileIsDeletedAndDropped_data() {
    QTest::addColumn<QByteArray>("contents");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("not JSON") << QByteArray("\x89PNG\r\n\x1a\n", 8);
    QTest::newRow("truncated") << QByteArray("[{\"receivedAt\":1,\"appID\":\"A\",\"clie");
    QTest::newRow("an object, not a list") << QByteArray("{\"receivedAt\":1}");
    QTest::newRow("list of the wrong records") << QByteArray("[{\"id\":1},{\"id\":2}]");
    // Dates whose milliseconds do not fit 64 bits.
    const QByteArray record = "{\"appID\":\"A\",\"clientUser\":\"u\",\"sessionID\":\"s\","
                              "\"type\":\"t\",\"payload\":{},\"isTestMode\":\"false\","
                              "\"receivedAt\":";
    QTest::newRow("received far in the future") << QByteArray("[" + record + "1e300}]");
    QTest::newRow("received just beyond the range") << QByteArray("[" + record + "9.3e15}]");
    QTest::newRow("received far in the past") << QByteArray("[" + record + "-9.3e15}]");
}

void SignalCacheTest::unreadableFileIsDeletedAndDropped() {
    QFETCH(QByteArray, contents);
    writeFile(m_path, contents);
    SignalCache cache(m_log.handler(), 100, m_path);
    QVERIFY(!QFile::exists(m_path));
    QCOMPARE(cache.count(), 0);
    QCOMPARE(m_log.lines().size(), 1); // only the lookup line: no error
}

void SignalCacheTest::oversizedFileKeepsNewest() {
    writeFile(m_path,
              *SignalPostBody::encodeArray(bodies(15000), SignalPostBody::DateForm::referenceDate));
    SignalCache cache(m_log.handler(), 10000, m_path);
    QCOMPARE(m_log.lines().value(1), QStringLiteral("INFO Loaded 15000 signals"));
    QCOMPARE(cache.count(), 10000);
    QCOMPARE(cache.pop().first().type, QStringLiteral("s5000"));
}

void SignalCacheTest::saveWritesEveryBodyAndEmptiesQueue() {
    SignalCache cache(m_log.handler(), 100, m_path);
    QList<SignalPostBody> queued = bodies(3);
    queued[1].floatValue = 2.5;
    queued[2].payload = {{"screen", "editor"}};
    cache.push(queued);
    m_log.clear();
    cache.backupToDisk();
    QCOMPARE(cache.count(), 0);

    QFile file(m_path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    QCOMPARE(m_log.lines(), QStringList{QStringLiteral("INFO Saved Telemetry cache %1 bytes of 3 "
                                                       "signals")
                                            .arg(data.size())});
    const auto saved = SignalPostBody::decodeArray(data, SignalPostBody::DateForm::referenceDate);
    QVERIFY(saved);
    QVERIFY(*saved == queued);
}

void SignalCacheTest::failedSaveKeepsQueue() {
    // A plain file where the folder should be: the cache file cannot be written.
    const QString blocker = m_dir.filePath(QStringLiteral("not-a-folder"));
    writeFile(blocker, "x");
    SignalCache cache(m_log.handler(), 100, blocker + QStringLiteral("/telemetrysignalcache"));
    cache.push(bodies(2));
    m_log.clear();
    cache.backupToDisk();
    QCOMPARE(m_log.lines(), QStringList{QStringLiteral("ERROR Error saving Telemetry cache")});
    QCOMPARE(cache.count(), 2);
}

void SignalCacheTest::defaultFileLivesInUserCacheFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QCOMPARE(SignalCache::defaultCacheFilePath(), folder + QStringLiteral("/telemetrysignalcache"));
    // The folder need not exist yet when the application first quits.
    QDir(folder).removeRecursively();
    {
        SignalCache cache(std::nullopt, 100);
        cache.push(body("kept"));
        cache.backupToDisk();
        QCOMPARE(cache.count(), 0);
    }
    SignalCache next(std::nullopt, 100);
    QCOMPARE(types(next.pop()), QStringList{"kept"});
    QVERIFY(!QFile::exists(SignalCache::defaultCacheFilePath()));
}

QTEST_GUILESS_MAIN(SignalCacheTest)
#include "tst_signalcache.moc"
