// Signals handed to the client are never lost at quit: across two launches of a program that
// quits with a batch unanswered and a signal sent in the same turn, every signal reaches the
// ingest stand-in once.
#include "tests/support/IngestStandIn.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

using signalpost::testsupport::IngestStandIn;

namespace {

QString program() {
    return qEnvironmentVariable("QUILLON_BUILD_DIR") + u"/tests/signalling_program"_s;
}

QStringList sortedTypes(const QList<IngestStandIn::Request>& requests) {
    QStringList types;
    for (const auto& request : requests) {
        for (const QJsonValue& body : request.bodies()) {
            types.append(body.toObject().value(QLatin1String("type")).toString());
        }
    }
    types.sort();
    return types;
}

} // namespace

class SignalsAtQuitTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void nothingLostAcrossTwoLaunches();
};

void SignalsAtQuitTest::nothingLostAcrossTwoLaunches() {
    IngestStandIn ingest;
    ingest.holdAnswers(true);

    QProcess first;
    first.setProcessChannelMode(QProcess::ForwardedChannels);
    first.start(program(),
                {ingest.baseURL().toString(), u"0.05"_s, u"s1"_s, u"s2"_s, u"s3"_s, u"s4"_s});
    QVERIFY(first.waitForStarted());
    // A batch is on its way and stays unanswered.
    QTRY_VERIFY(ingest.requestCount() >= 1);
    // The last signal is sent in the same turn as the quit.
    first.write("quit s5\n");
    QVERIFY(first.waitForFinished(60000));
    QCOMPARE(first.exitStatus(), QProcess::NormalExit);
    QCOMPARE(first.exitCode(), 0);
    const qsizetype firstLaunchRequests = ingest.requestCount();

    ingest.holdAnswers(false);
    QProcess second;
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start(program(), {ingest.baseURL().toString(), u"3600"_s});
    QVERIFY(second.waitForStarted());
    // The start-up attempt sends what the first launch left in the cache file.
    QTRY_VERIFY(ingest.requestCount() > firstLaunchRequests);
    second.write("quit\n");
    QVERIFY(second.waitForFinished(60000));
    QCOMPARE(second.exitCode(), 0);

    const QStringList delivered = sortedTypes(ingest.requests().mid(firstLaunchRequests));
    QCOMPARE(delivered, (QStringList{"s1", "s2", "s3", "s4", "s5"}));
}

QTEST_GUILESS_MAIN(SignalsAtQuitTest)
#include "tst_signalsatquit.moc"
