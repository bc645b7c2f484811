#include "analytics/client/Signalpost.h"
#include "analytics/purchases/Decimal.h"
#include "analytics/purchases/ExchangeRates.h"
#include "analytics/purchases/PurchaseParameters.h"
#include "analytics/purchases/StoreTransaction.h"
#include "analytics/purchases/TrialConversionTracker.h"
#include "analytics/tests/LogRecorder.h"
#include "analytics/tests/SentSignals.h"
#include "tests/support/IngestStandIn.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSettings>
#include <QTest>
#include <cmath>

using namespace Qt::StringLiterals;

using signalpost::Decimal;
using signalpost::ExchangeRates;
using signalpost::Signalpost;
using signalpost::StoreTransaction;
using signalpost::TrialConversionTracker;
using signalpost::testsupport::IngestStandIn;
using Parameters = QMap<QString, QString>;
using ProductType = StoreTransaction::ProductType;
using OfferType = StoreTransaction::OfferType;
Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<Decimal>)
Q_DECLARE_METATYPE(std::optional<OfferType>)
Q_DECLARE_METATYPE(ProductType)

namespace {

StoreTransaction transaction(const std::optional<QString>& currency, const QString& price) {
    StoreTransaction t;
    t.productID = u"pro.yearly"_s;
    t.originalID = 1000;
    t.countryCode = u"DEU"_s;
    t.currencyCode = currency;
    if (!price.isEmpty()) {
        t.price = price == "NaN" ? Decimal::notANumber() : Decimal::fromString(price).value();
    }
    return t;
}

} // namespace

class PurchaseSignalsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup();

    void decimalReadsPlainDecimalText_data();
    void decimalReadsPlainDecimalText();
    void priceInUSD_data();
    void priceInUSD();
    void purchaseParametersNameTypeCountryProductAndCurrency();
    void freeTrialDecision_data();
    void freeTrialDecision();
    void exchangeRateTableHasItsRowsInOrder();

    void paidPurchaseIsSentWithItsDollarPrice_data();
    void paidPurchaseIsSentWithItsDollarPrice();
    void freeTrialIsSentAndRecorded();

private:
    void startClient();

    std::unique_ptr<IngestStandIn> m_ingest;
    LogRecorder m_log;
};

void PurchaseSignalsTest::startClient() {
    sentsignals::removeClientFiles();
    m_ingest = std::make_unique<IngestStandIn>();
    m_log.clear();
    Signalpost::initialize(sentsignals::configuration(*m_ingest, m_log));
}

void PurchaseSignalsTest::cleanup() {
    // Ends the trial tracker's observation, which would otherwise wait until the process ends.
    signalpost::TransactionUpdates::shared().finish();
    Signalpost::terminate();
    QThreadPool::globalInstance()->waitForDone();
    sentsignals::removeClientFiles();
    m_ingest.reset();
}

void PurchaseSignalsTest::decimalReadsPlainDecimalText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("written");
    QTest::newRow("price") << "9.99" << true << 9.99 << "9.99";
    QTest::newRow("zero with fraction") << "0.00" << true << 0.0 << "0";
    QTest::newRow("negative") << "-0.5" << true << -0.5 << "-0.5";
    QTest::newRow("exponent") << "1.5e3" << true << 1500.0 << "1500";
    QTest::newRow("no leading digit") << ".25" << true << 0.25 << "0.25";
    QTest::newRow("beyond a double") << "1e400" << true << qInf() << "";
    QTest::newRow("letters") << "abc" << false << 0.0 << "";
    QTest::newRow("empty") << "" << false << 0.0 << "";
    QTest::newRow("two points") << "1.2.3" << false << 0.0 << "";
    QTest::newRow("sign alone") << "-" << false << 0.0 << "";
    QTest::newRow("comma") << "9,99" << false << 0.0 << "";
}

void PurchaseSignalsTest::decimalReadsPlainDecimalText() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, value);
    QFETCH(QString, written);
    const auto decimal = Decimal::fromString(text);
    QCOMPARE(decimal.has_value(), valid);
    if (valid) {
        QCOMPARE(decimal->toDouble(), value);
        if (!written.isEmpty()) {
            QCOMPARE(decimal->toString(), written);
        }
    }
}

void PurchaseSignalsTest::priceInUSD_data() {
    QTest::addColumn<std::optional<QString>>("currency");
    QTest::addColumn<QString>("price"); // empty: none; "NaN": not a number
    QTest::addColumn<double>("usd");
    const std::optional<QString> none;
    QTest::newRow("EUR") << std::optional<QString>("EUR") << "9.99" << 10.479387391167522;
    QTest::newRow("USD unchanged") << std::optional<QString>("USD") << "9.99" << 9.99;
    QTest::newRow("JPY") << std::optional<QString>("JPY") << "1000" << 6.563923756087219;
    QTest::newRow("KWD, smallest rate")
        << std::optional<QString>("KWD") << "1" << 3.2414910858995136;
    QTest::newRow("lower-case code") << std::optional<QString>("eur") << "9.99" << 0.0;
    QTest::newRow("lower-case usd") << std::optional<QString>("usd") << "9.99" << 0.0;
    QTest::newRow("code too long") << std::optional<QString>("EURO") << "9.99" << 0.0;
    QTest::newRow("code too short") << std::optional<QString>("EU") << "9.99" << 0.0;
    QTest::newRow("code not in table") << std::optional<QString>("XYZ") << "9.99" << 0.0;
    QTest::newRow("no currency") << none << "9.99" << 0.0;
    QTest::newRow("no price") << std::optional<QString>("EUR") << "" << 0.0;
    QTest::newRow("price not a number") << std::optional<QString>("EUR") << "NaN" << 0.0;
    QTest::newRow("price beyond a double") << std::optional<QString>("USD") << "1e400" << 0.0;
    QTest::newRow("negative price kept") << std::optional<QString>("USD") << "-4.5" << -4.5;
}

void PurchaseSignalsTest::priceInUSD() {
    QFETCH(std::optional<QString>, currency);
    QFETCH(QString, price);
    QFETCH(double, usd);
    const double result = signalpost::priceInUSD(transaction(currency, price));
    QVERIFY(std::isfinite(result));
    QCOMPARE(result, usd);
}

void PurchaseSignalsTest::purchaseParametersNameTypeCountryProductAndCurrency() {
    StoreTransaction subscription = transaction(u"CHF"_s, "12");
    subscription.subscriptionGroupID = u"group-1"_s;
    QCOMPARE(signalpost::purchaseParameters(subscription),
             (Parameters{{"Signalpost.Purchase.type", "subscription"},
                         {"Signalpost.Purchase.countryCode", "DEU"},
                         {"Signalpost.Purchase.productID", "pro.yearly"},
                         {"Signalpost.Purchase.currencyCode", "CHF"}}));
    QCOMPARE(signalpost::purchaseParameters(transaction(std::nullopt, "12")),
             (Parameters{{"Signalpost.Purchase.type", "one-time-purchase"},
                         {"Signalpost.Purchase.countryCode", "DEU"},
                         {"Signalpost.Purchase.productID", "pro.yearly"}}));
}

void PurchaseSignalsTest::freeTrialDecision_data() {
    QTest::addColumn<ProductType>("productType");
    QTest::addColumn<std::optional<OfferType>>("offer");
    QTest::addColumn<QString>("price");
    QTest::addColumn<bool>("freeTrial");
    const auto intro = std::optional(OfferType::introductory);
    QTest::newRow("introductory at 0") << ProductType::autoRenewable << intro << "0" << true;
    QTest::newRow("introductory at 0.00") << ProductType::autoRenewable << intro << "0.00" << true;
    QTest::newRow("introductory, no price") << ProductType::autoRenewable << intro << "" << true;
    QTest::newRow("paid introductory") << ProductType::autoRenewable << intro << "0.99" << false;
    QTest::newRow("introductory, price NaN")
        << ProductType::autoRenewable << intro << "NaN" << false;
    QTest::newRow("promotional at 0")
        << ProductType::autoRenewable << std::optional(OfferType::promotional) << "0" << false;
    QTest::newRow("no offer") << ProductType::autoRenewable << std::optional<OfferType>() << "0"
                              << false;
    QTest::newRow("non-renewing") << ProductType::nonRenewable << intro << "0" << false;
    QTest::newRow("non-consumable") << ProductType::nonConsumable << intro << "0" << false;
}

void PurchaseSignalsTest::freeTrialDecision() {
    QFETCH(ProductType, productType);
    QFETCH(std::optional<OfferType>, offer);
    QFETCH(QString, price);
    QFETCH(bool, freeTrial);
    StoreTransaction t = transaction(u"EUR"_s, price);
    t.productType = productType;
    t.offerType = offer;
    QCOMPARE(signalpost::startsFreeTrial(t), freeTrial);
}

void PurchaseSignalsTest::exchangeRateTableHasItsRowsInOrder() {
    const QStringList codes =
        u"AED AFN ALL AMD ANG AOA ARS AUD AWG AZN BAM BBD BDT BGN BHD BIF BMD BND BOB BRL BSD "
        "BTN BWP BYN BZD CAD CDF CHF CLP CNY COP CRC CUP CVE CZK DJF DKK DOP DZD EGP ERN ETB "
        "EUR FJD FKP FOK GBP GEL GGP GHS GIP GMD GNF GTQ GYD HKD HNL HRK HTG HUF IDR ILS IMP "
        "INR IQD IRR ISK JEP JMD JOD JPY KES KGS KHR KID KMF KRW KWD KYD KZT LAK LBP LKR LRD "
        "LSL LYD MAD MDL MGA MKD MMK MNT MOP MRU MUR MVR MWK MXN MYR MZN NAD NGN NIO NOK NPR "
        "NZD OMR PAB PEN PGK PHP PKR PLN PYG QAR RON RSD RUB RWF SAR SBD SCR SDG SEK SGD SHP "
        "SLE SLL SOS SRD SSP STN SYP SZL THB TJS TMT TND TOP TRY TTD TVD TWD TZS UAH UGX UYU "
        "UZS VES VND VUV WST XAF XCD XDR XOF XPF YER ZAR ZMW ZWL"_s.split(' ');
    QCOMPARE(codes.size(), 161);
    QStringList stored;
    for (const auto& [code, rate] : ExchangeRates::rows()) {
        stored.append(code);
        QVERIFY2(rate > 0 && std::isfinite(rate), qPrintable(code));
    }
    QCOMPARE(stored, codes);
    QCOMPARE(ExchangeRates::table().size(), 161);
    QVERIFY(!ExchangeRates::rate("USD"));

    const QMap<QString, double> fixed{
        {"AED", 3.6725},     {"BHD", 0.376},    {"BMD", 1.0},    {"CHF", 0.8997},  {"CNY", 7.2626},
        {"EUR", 0.9533},     {"GBP", 0.7948},   {"GGP", 0.7948}, {"IMP", 0.7948},  {"JEP", 0.7948},
        {"IRR", 41993.216},  {"JPY", 152.3479}, {"KWD", 0.3085}, {"LBP", 89500.0}, {"PAB", 1.0},
        {"VND", 25400.2138}, {"XDR", 0.7614}};
    for (auto it = fixed.cbegin(); it != fixed.cend(); ++it) {
        QCOMPARE(ExchangeRates::rate(it.key()), std::optional(it.value()));
    }
    for (const auto& [code, rate] : ExchangeRates::rows()) {
        QVERIFY2(code == "KWD" || rate > 0.3085, qPrintable(code));
        QVERIFY2(code == "LBP" || rate < 89500.0, qPrintable(code));
    }
}

void PurchaseSignalsTest::paidPurchaseIsSentWithItsDollarPrice_data() {
    QTest::addColumn<std::optional<QString>>("currency");
    QTest::addColumn<QString>("price");
    QTest::addColumn<std::optional<OfferType>>("offer");
    QTest::addColumn<Parameters>("callerParameters");
    QTest::addColumn<double>("floatValue");
    QTest::addColumn<QString>("purchaseType");
    const std::optional<OfferType> noOffer;
    QTest::newRow("9.99 EUR") << std::optional<QString>("EUR") << "9.99" << noOffer << Parameters()
                              << 10.4794 << "subscription";
    QTest::newRow("paid introductory offer")
        << std::optional<QString>("USD") << "0.99" << std::optional(OfferType::introductory)
        << Parameters() << 0.99 << "subscription";
    QTest::newRow("eur in lower case") << std::optional<QString>("eur") << "9.99" << noOffer
                                       << Parameters() << 0.0 << "subscription";
    QTest::newRow("no currency") << std::optional<QString>() << "9.99" << noOffer << Parameters()
                                 << 0.0 << "subscription";
    QTest::newRow("price not a number") << std::optional<QString>("EUR") << "NaN" << noOffer
                                        << Parameters() << 0.0 << "subscription";
    QTest::newRow("caller replaces the type")
        << std::optional<QString>("USD") << "5" << noOffer
        << Parameters{{"Signalpost.Purchase.type", "bundle"}} << 5.0 << "bundle";
}

void PurchaseSignalsTest::paidPurchaseIsSentWithItsDollarPrice() {
    QFETCH(std::optional<QString>, currency);
    QFETCH(QString, price);
    QFETCH(std::optional<OfferType>, offer);
    QFETCH(Parameters, callerParameters);
    QFETCH(double, floatValue);
    QFETCH(QString, purchaseType);
    startClient();
    StoreTransaction t = transaction(currency, price);
    t.productType = ProductType::autoRenewable;
    t.subscriptionGroupID = u"group-1"_s;
    t.offerType = offer;
    Signalpost::purchaseCompleted(t, callerParameters, u"buyer"_s);

    QTRY_COMPARE(m_ingest->allBodies().size(), 1);
    const QJsonObject body = m_ingest->allBodies().first().toObject();
    QCOMPARE(body.value("type").toString(), u"Signalpost.Purchase.completed"_s);
    QVERIFY(body.value("floatValue").isDouble());
    QCOMPARE(std::round(body.value("floatValue").toDouble() * 10000) / 10000, floatValue);
    QJsonObject expected{{"Signalpost.Purchase.type", purchaseType},
                         {"Signalpost.Purchase.countryCode", "DEU"},
                         {"Signalpost.Purchase.productID", "pro.yearly"}};
    if (currency) {
        expected.insert("Signalpost.Purchase.currencyCode", *currency);
    }
    QCOMPARE(sentsignals::payloadOf(body), expected);
    QCOMPARE(m_log.linesStartingWith("ERROR"), QStringList());
}

void PurchaseSignalsTest::freeTrialIsSentAndRecorded() {
    startClient();
    StoreTransaction t = transaction(u"EUR"_s, "0");
    t.productType = ProductType::autoRenewable;
    t.subscriptionGroupID = u"group-1"_s;
    t.offerType = OfferType::introductory;
    t.originalID = 9007199254740993ULL; // 2^53 + 1
    Signalpost::purchaseCompleted(t);

    QTRY_COMPARE(m_ingest->allBodies().size(), 1);
    const QJsonObject body = m_ingest->allBodies().first().toObject();
    QCOMPARE(body.value("type").toString(), u"Signalpost.Purchase.freeTrialStarted"_s);
    QVERIFY(!body.contains("floatValue"));
    QCOMPARE(sentsignals::payloadOf(body),
             (QJsonObject{{"Signalpost.Purchase.type", "subscription"},
                          {"Signalpost.Purchase.countryCode", "DEU"},
                          {"Signalpost.Purchase.productID", "pro.yearly"},
                          {"Signalpost.Purchase.currencyCode", "EUR"}}));

    TrialConversionTracker::shared().waitForPersistence();
    QVERIFY(TrialConversionTracker::shared().isObserving());
    QCOMPARE(Signalpost::defaultsSuite()->value("lastTrial").toByteArray(),
             QByteArray(R"({"productID":"pro.yearly","originalTransactionID":9007199254740993})"));
}

QTEST_GUILESS_MAIN(PurchaseSignalsTest)
#include "tst_purchasesignals.moc"
