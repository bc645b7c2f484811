#include "analytics/client/Signalpost.h"
#include "analytics/presets/AnyIdentifiableError.h"
#include "analytics/presets/ErrorCategory.h"
#include "analytics/tests/LogRecorder.h"
#include "analytics/tests/SentSignals.h"
#include "tests/support/IngestStandIn.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>
#include <functional>
#include <limits>
#include <stdexcept>

using namespace Qt::StringLiterals;

using signalpost::AnyIdentifiableError;
using signalpost::ErrorCategory;
using signalpost::IdentifiableError;
using signalpost::Signalpost;
using signalpost::testsupport::IngestStandIn;
using Parameters = QMap<QString, QString>;
using Send = std::function<void()>;
Q_DECLARE_METATYPE(Send)
Q_DECLARE_METATYPE(std::optional<ErrorCategory>)

namespace {

class UploadError : public IdentifiableError {
public:
    QString id() const override { return u"upload-failed"_s; }
    QString localizedDescription() const override { return u"The upload could not be finished."_s; }
};

} // namespace

class PresetSignalsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void presetsSendTheirNameAndParameters_data();
    void presetsSendTheirNameAndParameters();
    void ratingOutsideZeroToTenIsRefusedWithALine_data();
    void ratingOutsideZeroToTenIsRefusedWithALine();
    void errorCategoryRawValues_data();
    void errorCategoryRawValues();
    void anyIdentifiableErrorDescribesTheWrappedError();

private:
    std::unique_ptr<IngestStandIn> m_ingest;
    LogRecorder m_log;
};

void PresetSignalsTest::init() {
    sentsignals::removeClientFiles();
    m_ingest = std::make_unique<IngestStandIn>();
    m_log.clear();
    Signalpost::initialize(sentsignals::configuration(*m_ingest, m_log));
}

void PresetSignalsTest::cleanup() {
    Signalpost::terminate();
    QThreadPool::globalInstance()->waitForDone();
    sentsignals::removeClientFiles();
    m_ingest.reset();
}

void PresetSignalsTest::presetsSendTheirNameAndParameters_data() {
    QTest::addColumn<Send>("send");
    QTest::addColumn<QString>("name");
    QTest::addColumn<Parameters>("payload");
    QTest::addColumn<double>("floatValue"); // NaN: none sent

    const double none = qQNaN();
    const UploadError uploadError;

    QTest::newRow("user acquired")
        << Send([] { Signalpost::userAcquired("newsletter"); })
        << "Signalpost.Acquisition.userAcquired"
        << Parameters{{"Signalpost.Acquisition.channel", "newsletter"}} << none;
    QTest::newRow("caller key replaces the preset's")
        << Send([] {
               Signalpost::userAcquired(
                   "newsletter",
                   {{"Signalpost.Acquisition.channel", "podcast"}, {"campaign", "spring"}});
           })
        << "Signalpost.Acquisition.userAcquired"
        << Parameters{{"Signalpost.Acquisition.channel", "podcast"}, {"campaign", "spring"}}
        << none;
    QTest::newRow("lead started") << Send([] { Signalpost::leadStarted("lead-7"); })
                                  << "Signalpost.Acquisition.leadStarted"
                                  << Parameters{{"Signalpost.Acquisition.leadID", "lead-7"}}
                                  << none;
    QTest::newRow("lead converted")
        << Send([] { Signalpost::leadConverted("lead-7"); })
        << "Signalpost.Acquisition.leadConverted"
        << Parameters{{"Signalpost.Acquisition.leadID", "lead-7"}} << none;
    QTest::newRow("onboarding completed, only the caller's parameters") << Send([] {
        Signalpost::onboardingCompleted({{"steps", "4"}});
    }) << "Signalpost.Activation.onboardingCompleted" << Parameters{{"steps", "4"}}
                                                                        << none;
    QTest::newRow("core feature used")
        << Send([] { Signalpost::coreFeatureUsed("export"); })
        << "Signalpost.Activation.coreFeatureUsed"
        << Parameters{{"Signalpost.Activation.featureName", "export"}} << none;
    QTest::newRow("referral without kind")
        << Send([] { Signalpost::referralSent(3); }) << "Signalpost.Referral.sent"
        << Parameters{{"Signalpost.Referral.receiversCount", "3"}} << none;
    QTest::newRow("referral with kind")
        << Send([] { Signalpost::referralSent(1, u"email"_s); }) << "Signalpost.Referral.sent"
        << Parameters{{"Signalpost.Referral.receiversCount", "1"},
                      {"Signalpost.Referral.kind", "email"}}
        << none;
    QTest::newRow("rating 0") << Send([] { Signalpost::userRatingSubmitted(0); })
                              << "Signalpost.Referral.userRatingSubmitted"
                              << Parameters{{"Signalpost.Referral.ratingValue", "0"}} << none;
    QTest::newRow("rating 10 with comment")
        << Send([] { Signalpost::userRatingSubmitted(10, u"great"_s); })
        << "Signalpost.Referral.userRatingSubmitted"
        << Parameters{{"Signalpost.Referral.ratingValue", "10"},
                      {"Signalpost.Referral.ratingComment", "great"}}
        << none;
    QTest::newRow("paywall shown")
        << Send([] { Signalpost::paywallShown("export-limit"); })
        << "Signalpost.Revenue.paywallShown"
        << Parameters{{"Signalpost.Revenue.paywallShowReason", "export-limit"}} << none;
    QTest::newRow("error by identifier, nothing else")
        << Send([] { Signalpost::errorOccurred("E-1"); }) << "Signalpost.Error.occurred"
        << Parameters{{"Signalpost.Error.id", "E-1"}} << none;
    QTest::newRow("error by identifier, all")
        << Send([] {
               Signalpost::errorOccurred("E-2", ErrorCategory::appState, u"stuck"_s,
                                         {{"screen", "editor"}}, 2.5);
           })
        << "Signalpost.Error.occurred"
        << Parameters{{"Signalpost.Error.id", "E-2"},
                      {"Signalpost.Error.category", "app-state"},
                      {"Signalpost.Error.message", "stuck"},
                      {"screen", "editor"}}
        << 2.5;
    QTest::newRow("error by error: category and description")
        << Send([uploadError] { Signalpost::errorOccurred(uploadError, ErrorCategory::userInput); })
        << "Signalpost.Error.occurred"
        << Parameters{{"Signalpost.Error.id", "upload-failed"},
                      {"Signalpost.Error.category", "user-input"},
                      {"Signalpost.Error.message", "The upload could not be finished."}}
        << none;
    QTest::newRow("error by error with message")
        << Send([uploadError] {
               Signalpost::errorOccurred(uploadError, ErrorCategory::thrownException,
                                         u"retry later"_s, {}, -1.0);
           })
        << "Signalpost.Error.occurred"
        << Parameters{{"Signalpost.Error.id", "upload-failed"},
                      {"Signalpost.Error.category", "thrown-exception"},
                      {"Signalpost.Error.message", "retry later"}}
        << -1.0;
    QTest::newRow("error by error without message")
        << Send([uploadError] {
               Signalpost::errorOccurred(uploadError, ErrorCategory::appState, std::nullopt);
           })
        << "Signalpost.Error.occurred"
        << Parameters{{"Signalpost.Error.id", "upload-failed"},
                      {"Signalpost.Error.category", "app-state"}}
        << none;
    QTest::newRow("wrapped error") << Send([] {
        Signalpost::errorOccurred(
            AnyIdentifiableError("disk", std::make_exception_ptr(std::runtime_error("disk full"))),
            ErrorCategory::thrownException);
    }) << "Signalpost.Error.occurred"
                                   << Parameters{{"Signalpost.Error.id", "disk"},
                                                 {"Signalpost.Error.category", "thrown-exception"},
                                                 {"Signalpost.Error.message", "disk full"}}
                                   << none;
}

// Also: the reserved "Signalpost." names and keys of the presets raise no warning.
void PresetSignalsTest::presetsSendTheirNameAndParameters() {
    QFETCH(Send, send);
    QFETCH(QString, name);
    QFETCH(Parameters, payload);
    QFETCH(double, floatValue);

    send();
    QTRY_COMPARE(m_ingest->allBodies().size(), 1);
    const QJsonObject body = m_ingest->allBodies().first().toObject();
    QCOMPARE(body.value("type").toString(), name);
    QCOMPARE(sentsignals::payloadOf(body), QJsonObject::fromVariantMap([&] {
                 QVariantMap map;
                 for (auto it = payload.cbegin(); it != payload.cend(); ++it) {
                     map.insert(it.key(), it.value());
                 }
                 return map;
             }()));
    if (qIsNaN(floatValue)) {
        QVERIFY(!body.contains("floatValue"));
    } else {
        QCOMPARE(body.value("floatValue").toDouble(), floatValue);
    }
    QCOMPARE(m_log.linesStartingWith("ERROR"), QStringList());
}

void PresetSignalsTest::ratingOutsideZeroToTenIsRefusedWithALine_data() {
    QTest::addColumn<int>("rating");
    QTest::newRow("11") << 11;
    QTest::newRow("-1") << -1;
    QTest::newRow("far below") << std::numeric_limits<int>::min();
}

void PresetSignalsTest::ratingOutsideZeroToTenIsRefusedWithALine() {
    QFETCH(int, rating);
    Signalpost::userRatingSubmitted(rating, u"comment"_s);
    QCOMPARE(m_log.linesStartingWith("ERROR"),
             QStringList{"ERROR Rating must be between 0 and 10"});

    sentsignals::letSignalsReachTheCache();
    Signalpost::signal("marker");
    QTRY_COMPARE(m_ingest->allBodies().size(), 1);
    QCOMPARE(sentsignals::typesOf(m_ingest->allBodies()), QStringList{"marker"});
}

void PresetSignalsTest::errorCategoryRawValues_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<ErrorCategory>>("category");
    QTest::newRow("thrown-exception")
        << "thrown-exception" << std::optional(ErrorCategory::thrownException);
    QTest::newRow("user-input") << "user-input" << std::optional(ErrorCategory::userInput);
    QTest::newRow("app-state") << "app-state" << std::optional(ErrorCategory::appState);
    QTest::newRow("other letter case") << "App-State" << std::optional<ErrorCategory>();
    QTest::newRow("case name, not raw value") << "appState" << std::optional<ErrorCategory>();
    QTest::newRow("trailing space") << "user-input " << std::optional<ErrorCategory>();
    QTest::newRow("empty") << "" << std::optional<ErrorCategory>();
}

void PresetSignalsTest::errorCategoryRawValues() {
    QFETCH(QString, text);
    QFETCH(std::optional<ErrorCategory>, category);
    QCOMPARE(signalpost::errorCategoryFromRawValue(text), category);
    if (category) {
        QCOMPARE(signalpost::rawValue(*category), text);
    }
}

void PresetSignalsTest::anyIdentifiableErrorDescribesTheWrappedError() {
    const AnyIdentifiableError standard(
        "a", std::make_exception_ptr(std::invalid_argument("bad argument")));
    QCOMPARE(standard.id(), u"a"_s);
    QCOMPARE(standard.localizedDescription(), u"bad argument"_s);
    QCOMPARE(standard.errorDescription(), std::optional<QString>());

    struct Thrown : UploadError {};
    const AnyIdentifiableError identifiable("b", std::make_exception_ptr(Thrown()));
    QCOMPARE(identifiable.id(), u"b"_s);
    QCOMPARE(identifiable.localizedDescription(), u"The upload could not be finished."_s);

    const AnyIdentifiableError other("c", std::make_exception_ptr(42));
    QCOMPARE(other.localizedDescription(), u"The operation couldn’t be completed."_s);
    try {
        std::rethrow_exception(other.error());
    } catch (int value) {
        QCOMPARE(value, 42);
    }
}

QTEST_GUILESS_MAIN(PresetSignalsTest)
#include "tst_presetsignals.moc"
