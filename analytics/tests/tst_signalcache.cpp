#include "analytics/pipeline/SignalCache.h"
#include "analytics/tests/LogRecorder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <limits>

using namespace Qt::StringLiterals;

using signalpost::SignalCache;
using signalpost::SignalPostBody;

namespace {

SignalPostBody body(const QString& type) {
    SignalPostBody b;
    b.receivedAt = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 250), QTimeZone::utc());
    b.appID = u"APP"_s;
    b.clientUser = u"user"_s;
    b.sessionID = u"SESSION"_s;
    b.type = type;
    b.isTestMode = u"false"_s;
    return b;
}

QList<SignalPostBody> bodies(int count, const QString& prefix = u"s"_s) {
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

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<SignalPostBody> drainBodies(SignalCache& cache) {
    QList<SignalPostBody> result;
    for (auto batch = cache.pop(); !batch.isEmpty(); batch = cache.pop()) {
        result += batch;
    }
    return result;
}

// Bodies as they come: payloads repeated and changed, float values, texts beyond ASCII and
// texts that need escapes, dates with and without milliseconds.
QList<SignalPostBody> variedBodies() {
    const QMap<QString, QString> common{{"appVersion", "1.4"}, {"locale", "en_US"}};
    QMap<QString, QString> other = common;
    other.insert("screen", "Entwürfe ✍️ 𝗯𝗼𝗹𝗱");
    QList<SignalPostBody> list;
    for (int i = 0; i < 7; ++i) {
        SignalPostBody b = body(u"signal%1"_s.arg(i));
        b.receivedAt = b.receivedAt.addMSecs(i * 1001);
        b.payload = (i == 3 || i == 4) ? other : common;
        list.append(b);
    }
    list[1].floatValue = -0.1;
    list[2].floatValue = 1e300;
    list[2].payload.clear();
    list[4].type = u"quote \" and \\ backslash,\n\t\u0001 \"payload\":{"_s;
    list[5].clientUser = QString();
    list[6].isTestMode = u"true"_s;
    list[6].receivedAt = QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59), QTimeZone::utc());
    return list;
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
    void keepsEveryFieldThroughQueueFileAndLoad();
    void loadsFilesWrittenOtherwise_data();
    void loadsFilesWrittenOtherwise();
    void bodyWithoutJsonFormIsDropped();
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
    m_path = m_dir.filePath(u"telemetrysignalcache"_s);
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
    QCOMPARE(first.first().type, u"s0"_s);
    QCOMPARE(first.last().type, u"s99"_s);
    QCOMPARE(cache.count(), 150);
    QCOMPARE(cache.pop().size(), 100);
    const auto third = cache.pop();
    QCOMPARE(third.size(), 50);
    QCOMPARE(third.last().type, u"s249"_s);
    QVERIFY(cache.pop().isEmpty());
}

void SignalCacheTest::pushedBackBatchWaitsBehindNewer() {
    SignalCache cache(m_log.handler(), 10000, m_path);
    cache.push(bodies(100, "old"));
    const auto batch = cache.pop();
    cache.push(bodies(120, "new"));
    cache.push(batch);
    const auto next = cache.pop();
    QCOMPARE(next.first().type, u"new0"_s);
    QCOMPARE(next.last().type, u"new99"_s);
    const auto after = cache.pop();
    QCOMPARE(after.first().type, u"new100"_s);
    QCOMPARE(after.at(20).type, u"old0"_s);

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
    QCOMPARE(m_log.lines(), QStringList{u"INFO Loading Telemetry cache from: "_s +
                                        QUrl::fromLocalFile(m_path).toString()});
    QCOMPARE(cache.count(), 0);
}

void SignalCacheTest::loadsFileAheadOfNewBodies() {
    writeFile(m_path, *SignalPostBody::encodeArray(bodies(12, "cached"),
                                                   SignalPostBody::DateForm::referenceDate));
    SignalCache cache(m_log.handler(), 100, m_path);
    QVERIFY(!QFile::exists(m_path));
    QCOMPARE(m_log.lines().value(1), u"INFO Loaded 12 signals"_s);
    cache.push(body("fresh"));
    const auto batch = cache.pop();
    QCOMPARE(batch.size(), 13);
    QVERIFY(batch.first() == body("cached0"));
    QCOMPARE(batch.last().type, u"fresh"_s);
}

void SignalCacheTest::keepsEveryFieldThroughQueueFileAndLoad() {
    const QList<SignalPostBody> queued = variedBodies();
    SignalCache cache(m_log.handler(), 100, m_path);
    cache.push(queued.first());
    cache.push(queued.mid(1));
    QCOMPARE(cache.count(), queued.size());
    const QList<SignalPostBody> popped = cache.pop();
    QVERIFY(popped == queued);

    cache.push(popped);
    cache.backupToDisk();
    // Byte for byte what the plain encoder writes, so older and newer versions read it alike.
    QCOMPARE(readFile(m_path),
             *SignalPostBody::encodeArray(queued, SignalPostBody::DateForm::referenceDate));
    SignalCache next(m_log.handler(), 100, m_path);
    QVERIFY(drainBodies(next) == queued);
}

void SignalCacheTest::loadsFilesWrittenOtherwise_data() {
    QTest::addColumn<QByteArray>("contents");
    const QByteArray good =
        "[{\"receivedAt\":737190489.25,\"appID\":\"A\",\"clientUser\":\"u\",\"sessionID\":\"s\","
        "\"type\":\"t\",\"payload\":{\"appVersion\":\"1.4\",\"locale\":\"en_US\"},"
        "\"isTestMode\":\"false\"}]";
    const auto replaced = [&good](const char* from, const char* to) {
        QByteArray changed = good;
        changed.replace(from, to);
        if (changed == good) {
            qFatal("the row changes nothing: %s", from);
        }
        return changed;
    };
    QTest::newRow("as written") << good;
    QTest::newRow("white space") << QByteArray(
        "[ {\"receivedAt\" : 737190489.25, \"appID\":\"A\", \"clientUser\":\"u\",\n"
        " \"sessionID\":\"s\", \"type\":\"t\", \"payload\":{ \"k\" : \"v\" },"
        " \"isTestMode\":\"false\" } ]");
    QTest::newRow("members in another order")
        << QByteArray("[{\"type\":\"t\",\"isTestMode\":\"false\",\"payload\":{},\"sessionID\":"
                      "\"s\",\"clientUser\":\"u\",\"appID\":\"A\",\"receivedAt\":1}]");
    QTest::newRow("float value null")
        << replaced("\"payload\":", "\"floatValue\":null,\"payload\":");
    QTest::newRow("float value not in its shortest form")
        << replaced("\"payload\":", "\"floatValue\":2.50,\"payload\":");
    QTest::newRow("date finer than milliseconds") << replaced(".25,", ".2500001,");
    QTest::newRow("date as an exponent") << replaced("737190489.25", "7.3719048925e8");
    QTest::newRow("escapes a writer need not use") << replaced("\"A\"", "\"\\u0041\\/\"");
    QTest::newRow("payload keys out of order")
        << replaced("{\"appVersion\"", "{\"zzz\":\"last\",\"appVersion\"");
    QTest::newRow("payload key twice")
        << replaced("{\"appVersion\":\"1.4\"", "{\"appVersion\":\"1.3\",\"appVersion\":\"1.4\"");
    // In the order of their UTF-8 bytes, which for these two is not that of a text's code units.
    QTest::newRow("payload keys beyond ASCII")
        << replaced("\"locale\":\"en_US\"", "\"\xef\xbc\xa1\":\"1\",\"\xf0\x9d\x97\xaf\":\"2\"");
    QTest::newRow("malformed UTF-8") << replaced("\"A\"", "\"A\xff\xfe\"");
    QTest::newRow("a member of no body") << replaced("\"appID\"", "\"extra\":[1,{}],\"appID\"");
}

void SignalCacheTest::loadsFilesWrittenOtherwise() {
    // Another writer's file (the format allows white space, any member order, escapes) loads as
    // the strict decoder reads it, and is saved again as the plain encoder writes it.
    QFETCH(QByteArray, contents);
    const auto expected =
        SignalPostBody::decodeArray(contents, SignalPostBody::DateForm::referenceDate);
    QVERIFY(expected && expected->size() == 1);
    writeFile(m_path, contents);
    SignalCache cache(m_log.handler(), 100, m_path);
    QCOMPARE(cache.count(), 1);
    QCOMPARE(m_log.lines().value(1), u"INFO Loaded 1 signals"_s);
    cache.backupToDisk();
    QCOMPARE(readFile(m_path),
             *SignalPostBody::encodeArray(*expected, SignalPostBody::DateForm::referenceDate));
    SignalCache next(m_log.handler(), 100, m_path);
    QVERIFY(next.pop() == *expected);
}

void SignalCacheTest::bodyWithoutJsonFormIsDropped() {
    // It could be neither sent nor saved, and would hold back every body queued with it.
    SignalCache cache(m_log.handler(), 100, m_path);
    QList<SignalPostBody> queued = bodies(3);
    queued[1].floatValue = std::numeric_limits<double>::quiet_NaN();
    cache.push(queued);
    QCOMPARE(types(cache.pop()), (QStringList{"s0", "s2"}));
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
    // A body read whole from the file, then a damaged one: nothing of the file is kept.
    const QByteArray good =
        *SignalPostBody::encodeArray(bodies(2), SignalPostBody::DateForm::referenceDate);
    QByteArray damaged = good;
    damaged.replace("\"s1\"", "\"s\x01\"");
    QTest::newRow("a control character in a later body") << damaged;
    damaged = good;
    damaged.replace(damaged.lastIndexOf("\"false\""), 7, "false");
    QTest::newRow("a test mode that is not a text") << damaged;
    damaged = good;
    damaged.replace(damaged.lastIndexOf("{}"), 2, "{\"k\":1}");
    QTest::newRow("a payload value that is not a text") << damaged;
    QTest::newRow("a later body cut short") << good.left(good.size() - 3) + "]";
    QTest::newRow("a required member missing")
        << QByteArray(good).replace(good.lastIndexOf(",\"isTestMode\":\"false\""), 20, "");
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
    QCOMPARE(m_log.lines().value(1), u"INFO Loaded 15000 signals"_s);
    QCOMPARE(cache.count(), 10000);
    QCOMPARE(cache.pop().first().type, u"s5000"_s);
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
    QCOMPARE(m_log.lines(), QStringList{u"INFO Saved Telemetry cache %1 bytes of 3 "
                                        "signals"_s.arg(data.size())});
    const auto saved = SignalPostBody::decodeArray(data, SignalPostBody::DateForm::referenceDate);
    QVERIFY(saved);
    QVERIFY(*saved == queued);
}

void SignalCacheTest::failedSaveKeepsQueue() {
    // A plain file where the folder should be: the cache file cannot be written.
    const QString blocker = m_dir.filePath(u"not-a-folder"_s);
    writeFile(blocker, "x");
    SignalCache cache(m_log.handler(), 100, blocker + u"/telemetrysignalcache"_s);
    cache.push(bodies(2));
    m_log.clear();
    cache.backupToDisk();
    QCOMPARE(m_log.lines(), QStringList{u"ERROR Error saving Telemetry cache"_s});
    QCOMPARE(cache.count(), 2);
}

void SignalCacheTest::defaultFileLivesInUserCacheFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QCOMPARE(SignalCache::defaultCacheFilePath(), folder + u"/telemetrysignalcache"_s);
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
