#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/base/UserIdentifierHashing.h"

#include <QTest>

using namespace Qt::StringLiterals;

using signalpost::applyDefaultPrefix;
using signalpost::sha256HexDigest;
using signalpost::TelemetryManagerConfiguration;
using Parameters = QMap<QString, QString>;

class UserIdentifierHashingTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void digest_data();
    void digest();
    void prefix_data();
    void prefix();
};

void UserIdentifierHashingTest::digest_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("salt");
    QTest::addColumn<QString>("digest");
    QTest::newRow("empty identifier and salt")
        << ""
        << ""
        << "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    QTest::newRow("no salt") << "abc"
                             << ""
                             << "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    QTest::newRow("salt appended")
        << "user-42"
        << "pepper"
        << "08c3ecefc76e1481fee7b78de933a9c23133e55c3950b85ff75a0642fa5ef489";
    QTest::newRow("no separator: characters moved into the salt")
        << "user"
        << "-42pepper"
        << "08c3ecefc76e1481fee7b78de933a9c23133e55c3950b85ff75a0642fa5ef489";
    QTest::newRow("UTF-8 bytes of non-ASCII letters")
        << u"Zo\u00eb"_s << ""
        << "c6a12698582fc1104ea24107a2d7268145ff06ef859707729d01fd060897f067";
    QTest::newRow("lone surrogate cannot be encoded") << QString(QChar(0xD800)) << "salt"
                                                      << "";
}

void UserIdentifierHashingTest::digest() {
    QFETCH(QString, text);
    QFETCH(QString, salt);
    QFETCH(QString, digest);
    QCOMPARE(sha256HexDigest(text, salt), digest);
}

void UserIdentifierHashingTest::prefix_data() {
    QTest::addColumn<std::optional<QString>>("prefix");
    QTest::addColumn<Parameters>("input");
    QTest::addColumn<Parameters>("output");
    const Parameters mixed{{"screen", "home"},
                           {"Signalpost.Signal.durationInSeconds", "1.234"},
                           {"signalpost.Signal.durationInSeconds", "lower"}};
    QTest::newRow("no prefix") << std::optional<QString>() << mixed << mixed;
    QTest::newRow("empty prefix") << std::optional<QString>(QString()) << mixed << mixed;
    QTest::newRow("prefix, own keys kept")
        << std::optional<QString>(u"p."_s) << mixed
        << Parameters{{"p.screen", "home"},
                      {"Signalpost.Signal.durationInSeconds", "1.234"},
                      {"p.signalpost.Signal.durationInSeconds", "lower"}};
}

void UserIdentifierHashingTest::prefix() {
    QFETCH(std::optional<QString>, prefix);
    QFETCH(Parameters, input);
    QFETCH(Parameters, output);
    TelemetryManagerConfiguration configuration(u"app"_s);
    configuration.setDefaultParameterPrefix(prefix);
    QCOMPARE(applyDefaultPrefix(input, configuration), output);
}

QTEST_GUILESS_MAIN(UserIdentifierHashingTest)
#include "tst_useridentifierhashing.moc"
