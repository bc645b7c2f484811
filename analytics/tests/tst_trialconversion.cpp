#include "analytics/client/Signalpost.h"
#include "analytics/purchases/StoreTransaction.h"
#include "analytics/purchases/TransactionUpdates.h"
#include "analytics/purchases/TrialConversionTracker.h"
#include "analytics/purchases/VerificationResult.h"
#include "analytics/tests/LogRecorder.h"
#include "analytics/tests/SentSignals.h"
#include "tests/support/IngestStandIn.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSettings>
#include <QTest>
#include <cmath>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

using signalpost::Decimal;
using signalpost::Signalpost;
using signalpost::StoreTransaction;
using signalpost::TransactionUpdates;
using signalpost::TrialConversionTracker;
using signalpost::VerificationResult;
using signalpost::testsupport::IngestStandIn;
using StoredTrial = TrialConversionTracker::StoredTrial;
Q_DECLARE_METATYPE(std::optional<StoredTrial>)

namespace {

const QString product = u"pro.monthly"_s;
const QString converted = u"Signalpost.Purchase.convertedFromTrial"_s;

StoreTransaction freeTrial(quint64 originalID) {
    StoreTransaction t;
    t.productID = product;
    t.originalID = originalID;
    t.productType = StoreTransaction::ProductType::autoRenewable;
    t.subscriptionGroupID = u"group-1"_s;
    t.countryCode = u"FRA"_s;
    t.currencyCode = u"EUR"_s;
    t.price = Decimal();
    t.offerType = StoreTransaction::OfferType::introductory;
    t.offerPaymentMode = StoreTransaction::PaymentMode::freeTrial;
    t.expirationDate = QDateTime::currentDateTimeUtc().addDays(7);
    return t;
}

// The first paid period after the trial: 4.99 EUR, no offer.
StoreTransaction renewal(quint64 originalID) {
    StoreTransaction t = freeTrial(originalID);
    t.price = Decimal(499, -2);
    t.offerType.reset();
    t.offerPaymentMode.reset();
    t.expirationDate = QDateTime::currentDateTimeUtc().addDays(30);
    return t;
}

QString storedTrial() {
    const auto suite = Signalpost::defaultsSuite();
    return suite ? QString::fromUtf8(suite->value("lastTrial").toByteArray()) : QString();
}

} // namespace

class TrialConversionTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup();

    void lastTrialIsExactJson_data();
    void lastTrialIsExactJson();
    void lastTrialThatDoesNotDecodeReadsAsNone_data();
    void lastTrialThatDoesNotDecodeReadsAsNone();

    void paidRenewalConvertsOnce();
    void trialThatEndsIsForgottenSilently_data();
    void trialThatEndsIsForgottenSilently();
    void endOfTheStreamEndsTheObservation();
    void recordedTrialIsResumedInALaterManagerLifetime_data();
    void recordedTrialIsResumedInALaterManagerLifetime();
    void withoutSuiteNothingIsStored();
    void concurrentTrialsPurchasesAndUpdates();

private:
    void startClient();
    // Waits for the trial start's signal and its stored trial.
    void startTrial(quint64 originalID);

    std::unique_ptr<IngestStandIn> m_ingest;
    LogRecorder m_log;
};

void TrialConversionTest::startClient() {
    sentsignals::removeClientFiles();
    m_ingest = std::make_unique<IngestStandIn>();
    m_log.clear();
    Signalpost::initialize(sentsignals::configuration(*m_ingest, m_log));
}

void TrialConversionTest::startTrial(quint64 originalID) {
    Signalpost::purchaseCompleted(freeTrial(originalID));
    TrialConversionTracker::shared().waitForPersistence();
    QVERIFY(TrialConversionTracker::shared().isObserving());
    QCOMPARE(TrialConversionTracker::loadTrial(), std::optional(StoredTrial{product, originalID}));
}

void TrialConversionTest::cleanup() {
    TransactionUpdates::shared().finish();
    Signalpost::terminate();
    QThreadPool::globalInstance()->waitForDone();
    TrialConversionTracker::shared().waitForPersistence();
    sentsignals::removeClientFiles();
    m_ingest.reset();
}

void TrialConversionTest::lastTrialIsExactJson_data() {
    QTest::addColumn<quint64>("id");
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("0") << quint64(0)
                       << QByteArray(R"({"productID":"p\"1","originalTransactionID":0})");
    QTest::newRow("2^53")
        << quint64(9007199254740992ULL)
        << QByteArray(R"({"productID":"p\"1","originalTransactionID":9007199254740992})");
    QTest::newRow("2^53 + 1")
        << quint64(9007199254740993ULL)
        << QByteArray(R"({"productID":"p\"1","originalTransactionID":9007199254740993})");
    QTest::newRow("2^63")
        << quint64(9223372036854775808ULL)
        << QByteArray(R"({"productID":"p\"1","originalTransactionID":9223372036854775808})");
    QTest::newRow("2^64 - 1")
        << quint64(18446744073709551615ULL)
        << QByteArray(R"({"productID":"p\"1","originalTransactionID":18446744073709551615})");
}

void TrialConversionTest::lastTrialIsExactJson() {
    QFETCH(quint64, id);
    QFETCH(QByteArray, json);
    const StoredTrial trial{u"p\"1"_s, id};
    QCOMPARE(TrialConversionTracker::encodeTrial(trial), json);
    QCOMPARE(TrialConversionTracker::decodeTrial(json), std::optional(trial));

    startClient();
    TrialConversionTracker::saveTrial(trial);
    QCOMPARE(TrialConversionTracker::loadTrial(), std::optional(trial));
}

void TrialConversionTest::lastTrialThatDoesNotDecodeReadsAsNone_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<std::optional<StoredTrial>>("trial");
    const std::optional<StoredTrial> none;
    QTest::newRow("not JSON") << QByteArray("lastTrial") << none;
    QTest::newRow("truncated") << QByteArray(R"({"productID":"p","originalTransactionID":4)")
                               << none;
    QTest::newRow("array") << QByteArray(R"(["p", 4])") << none;
    QTest::newRow("product is a number")
        << QByteArray(R"({"productID":7,"originalTransactionID":4})") << none;
    QTest::newRow("identifier is text")
        << QByteArray(R"({"productID":"p","originalTransactionID":"4"})") << none;
    QTest::newRow("identifier missing") << QByteArray(R"({"productID":"p"})") << none;
    QTest::newRow("negative") << QByteArray(R"({"productID":"p","originalTransactionID":-4})")
                              << none;
    QTest::newRow("fractional") << QByteArray(R"({"productID":"p","originalTransactionID":4.5})")
                                << none;
    QTest::newRow("exponent") << QByteArray(R"({"productID":"p","originalTransactionID":4e3})")
                              << none;
    QTest::newRow("2^64")
        << QByteArray(R"({"productID":"p","originalTransactionID":18446744073709551616})") << none;
    QTest::newRow("spaces, other order, colon in text")
        << QByteArray(R"( { "originalTransactionID" : 42 , "productID" : "a:\"b" } )")
        << std::optional(StoredTrial{u"a:\"b"_s, 42});
    QTest::newRow("same key nested elsewhere")
        << QByteArray(
               R"({"productID":"p","x":{"originalTransactionID":7},"originalTransactionID":5})")
        << std::optional(StoredTrial{u"p"_s, 5});
    QTest::newRow("escaped key")
        << QByteArray(R"({"productID":"p","original\u0054ransactionID":9007199254740993})")
        << std::optional(StoredTrial{u"p"_s, 9007199254740993ULL});
}

void TrialConversionTest::lastTrialThatDoesNotDecodeReadsAsNone() {
    QFETCH(QByteArray, json);
    QFETCH(std::optional<StoredTrial>, trial);
    QCOMPARE(TrialConversionTracker::decodeTrial(json), trial);
}

void TrialConversionTest::paidRenewalConvertsOnce() {
    startClient();
    startTrial(4242);

    // Each update to be ignored names a country of its own, so that a conversion sent for it
    // shows.
    auto marked = [](StoreTransaction t, const QString& country) {
        t.countryCode = country;
        return t;
    };
    StoreTransaction otherProduct = marked(renewal(4242), "PRD");
    otherProduct.productID = u"pro.yearly"_s;
    TransactionUpdates& updates = TransactionUpdates::shared();
    updates.feed(VerificationResult::unverified(marked(renewal(4242), "UNV")));
    updates.feed(VerificationResult::verified(otherProduct));
    updates.feed(VerificationResult::verified(marked(renewal(4243), "OID")));
    updates.feed(VerificationResult::verified(marked(freeTrial(4242), "TRI")));
    updates.feed(VerificationResult::verified(renewal(4242)));
    // Once converted, no longer followed.
    updates.feed(VerificationResult::verified(renewal(4242)));

    QTRY_VERIFY(!TrialConversionTracker::shared().isObserving());
    TrialConversionTracker::shared().waitForPersistence();
    QCOMPARE(storedTrial(), QString());
    sentsignals::letSignalsReachTheCache();
    Signalpost::signal("marker");
    QTRY_COMPARE(m_ingest->allBodies().size(), 3);
    QCOMPARE(sentsignals::typesOf(m_ingest->allBodies()),
             (QStringList{converted, "Signalpost.Purchase.freeTrialStarted", "marker"}));
    const QJsonObject body = sentsignals::bodiesOfType(m_ingest->allBodies(), converted).first();
    QCOMPARE(std::round(body.value("floatValue").toDouble() * 10000) / 10000, 5.2344);
    QCOMPARE(sentsignals::payloadOf(body),
             (QJsonObject{{"Signalpost.Purchase.type", "subscription"},
                          {"Signalpost.Purchase.countryCode", "FRA"},
                          {"Signalpost.Purchase.productID", product},
                          {"Signalpost.Purchase.currencyCode", "EUR"}}));
    QCOMPARE(m_log.linesStartingWith("ERROR"), QStringList());
}

void TrialConversionTest::trialThatEndsIsForgottenSilently_data() {
    QTest::addColumn<QString>("end");
    QTest::newRow("expired") << "expired";
    QTest::newRow("revoked") << "revoked";
    QTest::newRow("upgraded") << "upgraded";
}

void TrialConversionTest::trialThatEndsIsForgottenSilently() {
    QFETCH(QString, end);
    startClient();
    startTrial(77);

    StoreTransaction ending = renewal(77);
    if (end == "expired") {
        ending.expirationDate = QDateTime::currentDateTimeUtc().addSecs(-60);
    } else if (end == "revoked") {
        ending.revocationDate = QDateTime::currentDateTimeUtc();
    } else {
        ending.isUpgraded = true;
    }
    TransactionUpdates::shared().feed(VerificationResult::verified(ending));
    QTRY_VERIFY(!TrialConversionTracker::shared().isObserving());
    TrialConversionTracker::shared().waitForPersistence();
    QCOMPARE(storedTrial(), QString());

    // Forgotten: a later payment for it is not a conversion.
    TransactionUpdates::shared().feed(VerificationResult::verified(renewal(77)));
    TrialConversionTracker::shared().handleTransactionUpdate(
        VerificationResult::verified(renewal(77)));
    sentsignals::letSignalsReachTheCache();
    Signalpost::signal("marker");
    QTRY_COMPARE(m_ingest->allBodies().size(), 2);
    QCOMPARE(sentsignals::typesOf(m_ingest->allBodies()),
             (QStringList{"Signalpost.Purchase.freeTrialStarted", "marker"}));
}

void TrialConversionTest::endOfTheStreamEndsTheObservation() {
    startClient();
    startTrial(5);
    TransactionUpdates::shared().finish();
    QTRY_VERIFY(!TrialConversionTracker::shared().isObserving());
    // The trial stays recorded for the next run.
    TrialConversionTracker::shared().waitForPersistence();
    QCOMPARE(TrialConversionTracker::loadTrial(), std::optional(StoredTrial{product, 5}));
}

void TrialConversionTest::recordedTrialIsResumedInALaterManagerLifetime_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("resumed");
    QTest::newRow("recorded trial")
        << QByteArray(R"({"productID":"pro.monthly","originalTransactionID":18446744073709551615})")
        << true;
    QTest::newRow("value that does not decode")
        << QByteArray(R"({"productID":"pro.monthly","originalTransactionID":-1})") << false;
}

void TrialConversionTest::recordedTrialIsResumedInALaterManagerLifetime() {
    QFETCH(QByteArray, stored);
    QFETCH(bool, resumed);
    startClient();
    Signalpost::defaultsSuite()->setValue("lastTrial", stored);
    Signalpost::terminate();
    // A later run: a new manager over the same app ID, and a tracker used for the first time.
    Signalpost::initialize(sentsignals::configuration(*m_ingest, m_log));
    TransactionUpdates updates;
    TrialConversionTracker tracker(updates);
    QCOMPARE(tracker.isObserving(), resumed);

    updates.feed(VerificationResult::verified(renewal(18446744073709551615ULL)));
    if (resumed) {
        QTRY_VERIFY(!tracker.isObserving());
        tracker.waitForPersistence();
        QCOMPARE(storedTrial(), QString());
    }
    updates.finish();
    sentsignals::letSignalsReachTheCache();
    Signalpost::signal("marker");
    QStringList expected{"marker"};
    if (resumed) {
        expected.prepend(converted);
    }
    QTRY_COMPARE(m_ingest->allBodies().size(), expected.size());
    QCOMPARE(sentsignals::typesOf(m_ingest->allBodies()), expected);
}

void TrialConversionTest::withoutSuiteNothingIsStored() {
    QVERIFY(!Signalpost::defaultsSuite());
    TrialConversionTracker& tracker = TrialConversionTracker::shared();
    tracker.recordTrial(product, 12);
    tracker.waitForPersistence();
    QCOMPARE(TrialConversionTracker::loadTrial(), std::optional<StoredTrial>());
    tracker.handleTransactionUpdate(VerificationResult::verified(renewal(12)));

    startClient();
    QCOMPARE(storedTrial(), QString());
}

void TrialConversionTest::concurrentTrialsPurchasesAndUpdates() {
    startClient();
    constexpr int threads = 4;
    constexpr int rounds = 10;
    std::vector<std::thread> workers;
    for (int w = 0; w < threads; ++w) {
        workers.emplace_back([w] {
            for (int r = 0; r < rounds; ++r) {
                const quint64 id = quint64(w) * 1000 + r;
                Signalpost::purchaseCompleted(freeTrial(id));
                Signalpost::purchaseCompleted(renewal(id + 500)); // a paid purchase of its own
                StoreTransaction foreign = renewal(id);
                foreign.productID = u"other"_s;
                TransactionUpdates::shared().feed(VerificationResult::verified(foreign));
                TransactionUpdates::shared().feed(VerificationResult::unverified(renewal(id)));
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    TrialConversionTracker::shared().waitForPersistence();
    const auto recorded = TrialConversionTracker::loadTrial();
    QVERIFY(recorded);
    QVERIFY(TrialConversionTracker::shared().isObserving());

    // The same renewal from several threads at once converts once.
    workers.clear();
    for (int w = 0; w < threads; ++w) {
        workers.emplace_back([id = recorded->originalTransactionID] {
            for (int r = 0; r < 5; ++r) {
                TransactionUpdates::shared().feed(VerificationResult::verified(renewal(id)));
                TrialConversionTracker::shared().handleTransactionUpdate(
                    VerificationResult::verified(renewal(id)));
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    QTRY_VERIFY(!TrialConversionTracker::shared().isObserving());
    TrialConversionTracker::shared().waitForPersistence();
    QCOMPARE(storedTrial(), QString());

    const int expected = threads * rounds * 2 + 1;
    QTRY_COMPARE(m_ingest->allBodies().size(), expected);
    sentsignals::letSignalsReachTheCache();
    Signalpost::signal("marker");
    QTRY_COMPARE(m_ingest->allBodies().size(), expected + 1);
    const QJsonArray bodies = m_ingest->allBodies();
    QCOMPARE(sentsignals::bodiesOfType(bodies, "Signalpost.Purchase.freeTrialStarted").size(),
             threads * rounds);
    QCOMPARE(sentsignals::bodiesOfType(bodies, "Signalpost.Purchase.completed").size(),
             threads * rounds);
    QCOMPARE(sentsignals::bodiesOfType(bodies, converted).size(), 1);
}

QTEST_GUILESS_MAIN(TrialConversionTest)
#include "tst_trialconversion.moc"
