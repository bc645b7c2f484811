#include "analytics/base/LogHandler.h"

#include <QTemporaryFile>
#include <QTest>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

using signalpost::LogHandler;
using Level = LogHandler::LogLevel;

class LogHandlerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void filtersByLevel_data();
    void filtersByLevel();
    void levelFromRawValue_data();
    void levelFromRawValue();
    void standardOutputWritesOneLine_data();
    void standardOutputWritesOneLine();
    void absentHandlerLogsNothing();
    void copiesShareTheHandler();
};

void LogHandlerTest::filtersByLevel_data() {
    QTest::addColumn<Level>("handlerLevel");
    QTest::addColumn<Level>("messageLevel");
    QTest::addColumn<bool>("passed");
    QTest::newRow("debug handler, debug") << Level::debug << Level::debug << true;
    QTest::newRow("debug handler, info") << Level::debug << Level::info << true;
    QTest::newRow("debug handler, error") << Level::debug << Level::error << true;
    QTest::newRow("info handler, debug") << Level::info << Level::debug << false;
    QTest::newRow("info handler, info") << Level::info << Level::info << true;
    QTest::newRow("info handler, error") << Level::info << Level::error << true;
    QTest::newRow("error handler, debug") << Level::error << Level::debug << false;
    QTest::newRow("error handler, info") << Level::error << Level::info << false;
    QTest::newRow("error handler, error") << Level::error << Level::error << true;
}

void LogHandlerTest::filtersByLevel() {
    QFETCH(Level, handlerLevel);
    QFETCH(Level, messageLevel);
    QFETCH(bool, passed);
    QStringList received;
    LogHandler handler(handlerLevel, [&](Level level, const QString& message) {
        QCOMPARE(level, messageLevel);
        received.append(message);
    });
    QCOMPARE(handler.accepts(messageLevel), passed);
    handler.log(messageLevel, u"hello"_s);
    QCOMPARE(received, passed ? QStringList{u"hello"_s} : QStringList());
}

void LogHandlerTest::levelFromRawValue_data() {
    QTest::addColumn<int>("raw");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<Level>("level");
    QTest::addColumn<QString>("description");
    QTest::newRow("0") << 0 << true << Level::debug << "DEBUG";
    QTest::newRow("1") << 1 << true << Level::info << "INFO";
    QTest::newRow("2") << 2 << true << Level::error << "ERROR";
    QTest::newRow("3") << 3 << false << Level::debug << "";
    QTest::newRow("-1") << -1 << false << Level::debug << "";
}

void LogHandlerTest::levelFromRawValue() {
    QFETCH(int, raw);
    QFETCH(bool, exists);
    QFETCH(Level, level);
    QFETCH(QString, description);
    const auto parsed = LogHandler::logLevelFromRawValue(raw);
    QCOMPARE(parsed.has_value(), exists);
    if (exists) {
        QCOMPARE(*parsed, level);
        QCOMPARE(LogHandler::description(*parsed), description);
    }
}

void LogHandlerTest::standardOutputWritesOneLine_data() {
    QTest::addColumn<Level>("level");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("error") << Level::error << "Invalid endpoint URL"
                           << QByteArray("[Signalpost: ERROR] Invalid endpoint URL\n");
    QTest::newRow("info") << Level::info << "Loaded 12 signals"
                          << QByteArray("[Signalpost: INFO] Loaded 12 signals\n");
    QTest::newRow("placeholder-like text is kept")
        << Level::debug << "50% of %1 done" << QByteArray("[Signalpost: DEBUG] 50% of %1 done\n");
    QTest::newRow("non-ASCII") << Level::info << u"Zoë"_s
                               << QByteArray("[Signalpost: INFO] Zo\xc3\xab\n");
}

void LogHandlerTest::standardOutputWritesOneLine() {
    QFETCH(Level, level);
    QFETCH(QString, message);
    QFETCH(QByteArray, line);

    QTemporaryFile capture;
    QVERIFY(capture.open());
    std::fflush(stdout);
    const int savedStdout = dup(STDOUT_FILENO);
    QVERIFY(savedStdout >= 0);
    QVERIFY(dup2(capture.handle(), STDOUT_FILENO) >= 0);
    LogHandler::standardOutput(level, message);
    std::fflush(stdout);
    dup2(savedStdout, STDOUT_FILENO);
    close(savedStdout);

    capture.seek(0);
    QCOMPARE(capture.readAll(), line);
}

void LogHandlerTest::absentHandlerLogsNothing() {
    int calls = 0;
    std::optional<LogHandler> absent;
    signalpost::log(absent, Level::error, u"lost"_s);
    std::optional<LogHandler> present(
        LogHandler(Level::debug, [&](Level, const QString&) { ++calls; }));
    signalpost::log(present, Level::error, u"kept"_s);
    QCOMPARE(calls, 1);
}

void LogHandlerTest::copiesShareTheHandler() {
    auto calls = std::make_shared<int>(0);
    LogHandler original(Level::debug, [calls](Level, const QString&) { ++*calls; });
    LogHandler copy = original;
    copy.setLogLevel(Level::error);
    original.log(Level::info, u"a"_s);
    copy.log(Level::info, u"dropped by the copy's level"_s);
    copy.log(Level::error, u"b"_s);
    QCOMPARE(*calls, 2);
    QCOMPARE(original.logLevel(), Level::debug);
}

QTEST_GUILESS_MAIN(LogHandlerTest)
#include "tst_loghandler.moc"
