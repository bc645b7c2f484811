#include "core/app/AppBundle.h"
#include "core/app/AppConfiguration.h"

#include <QTemporaryDir>
#include <QTest>

using quillon::AppConfiguration;

namespace {

QByteArray plist(const QByteArray& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\"><dict>" +
           body + "</dict></plist>\n";
}

const QByteArray required =
    "<key>api</key><dict><key>baseURL</key><string>https://api.example.com/v1</string></dict>"
    "<key>linkedIn</key><dict><key>callbackURLScheme</key><string>quillon</string></dict>"
    "<key>storage</key><dict><key>draftsKey</key><string>drafts</string>"
    "<key>linkedInTokenKey</key><string>token</string></dict>";

QByteArray observability(const QByteArray& leaveOut = {},
                         const QByteArray& rate = "<real>0.5</real>") {
    QByteArray keys;
    const QList<std::pair<QByteArray, QByteArray>> entries = {
        {"sentryDSN", "<string>https://key@sentry.example.com/1</string>"},
        {"sentryEnvironment", "<string>staging</string>"},
        {"sentryTracesSampleRate", rate},
        {"signalpostAppID", "<string> APP-ID </string>"},
        {"signalpostNamespace", "<string>quillon</string>"},
    };
    for (const auto& [key, value] : entries) {
        if (key != leaveOut) {
            keys += "<key>" + key + "</key>" + value;
        }
    }
    return "<key>observability</key><dict>" + keys + "</dict>";
}

} // namespace

class TestAppConfiguration : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodesEverySection() {
        QString error;
        const auto configuration =
            AppConfiguration::decode(plist(required + observability()), &error);
        QVERIFY2(configuration, qPrintable(error));
        QCOMPARE(configuration->api.baseURL, QUrl(QStringLiteral("https://api.example.com/v1")));
        QCOMPARE(configuration->linkedIn.callbackURLScheme, QStringLiteral("quillon"));
        QCOMPARE(configuration->storage.draftsKey, QStringLiteral("drafts"));
        QCOMPARE(configuration->storage.linkedInTokenKey, QStringLiteral("token"));
        QCOMPARE(configuration->observability.sentryDSN,
                 QStringLiteral("https://key@sentry.example.com/1"));
        QCOMPARE(configuration->observability.sentryEnvironment, QStringLiteral("staging"));
        QCOMPARE(configuration->observability.sentryTracesSampleRate, 0.5);
        // Values are taken as written; trimming is the reader's business.
        QCOMPARE(configuration->observability.signalpostAppID, QStringLiteral(" APP-ID "));
        QCOMPARE(configuration->observability.signalpostNamespace, QStringLiteral("quillon"));
    }

    void absentObservabilityTakesDefaults() {
        QString error;
        const auto configuration = AppConfiguration::decode(plist(required), &error);
        QVERIFY2(configuration, qPrintable(error));
        QCOMPARE(configuration->observability.sentryDSN, QString());
        QCOMPARE(configuration->observability.sentryEnvironment, QStringLiteral("production"));
        QCOMPARE(configuration->observability.sentryTracesSampleRate, 0.1);
        QCOMPARE(configuration->observability.signalpostAppID, QString());
        QCOMPARE(configuration->observability.signalpostNamespace, QString());
    }

    void integerSampleRateIsANumber() {
        QString error;
        const auto configuration = AppConfiguration::decode(
            plist(required + observability({}, "<integer>1</integer>")), &error);
        QVERIFY2(configuration, qPrintable(error));
        QCOMPARE(configuration->observability.sentryTracesSampleRate, 1.0);
    }

    void binaryPropertyListDecodes() {
        // The same content as `required`, converted with plistutil -f bin.
        QFile file(QFINDTESTDATA("fixtures/AppConfiguration.binary.plist"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QString error;
        const auto configuration = AppConfiguration::decode(file.readAll(), &error);
        QVERIFY2(configuration, qPrintable(error));
        QCOMPARE(configuration->api.baseURL, QUrl(QStringLiteral("https://api.example.com/v1")));
        QCOMPARE(configuration->storage.linkedInTokenKey, QStringLiteral("token"));
    }

    void rejectsInvalidResources_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("description");

        const QByteArray noURL =
            "<key>linkedIn</key><dict><key>callbackURLScheme</key><string>q</string></dict>"
            "<key>storage</key><dict><key>draftsKey</key><string>d</string>"
            "<key>linkedInTokenKey</key><string>t</string></dict>";
        QTest::newRow("observability without sentryDSN")
            << plist(required + observability("sentryDSN"))
            << QStringLiteral("No value associated with key \"observability.sentryDSN\".");
        QTest::newRow("sample rate as text")
            << plist(required + observability({}, "<string>0.5</string>"))
            << QStringLiteral("Expected a number for the key "
                              "\"observability.sentryTracesSampleRate\" but found text.");
        QTest::newRow("empty baseURL")
            << plist("<key>api</key><dict><key>baseURL</key><string></string></dict>" + noURL)
            << QStringLiteral("Data corrupted at \"api.baseURL\": Invalid baseURL");
        QTest::newRow("baseURL that does not parse")
            << plist("<key>api</key><dict><key>baseURL</key><string>http://exa "
                     "mple.com</string></dict>" +
                     noURL)
            << QStringLiteral("Data corrupted at \"api.baseURL\": Invalid baseURL");
        QTest::newRow("baseURL as a number")
            << plist("<key>api</key><dict><key>baseURL</key><integer>7</integer></dict>" + noURL)
            << QStringLiteral("Expected text for the key \"api.baseURL\" but found a number.");
        QTest::newRow("missing section")
            << plist("<key>api</key><dict><key>baseURL</key><string>https://a.example</string></"
                     "dict>")
            << QStringLiteral("No value associated with key \"linkedIn\".");
        QTest::newRow("section of the wrong type")
            << plist(required.left(required.indexOf("<key>linkedIn</key>")) +
                     "<key>linkedIn</key><string>quillon</string>" +
                     required.mid(required.indexOf("<key>storage</key>")))
            << QStringLiteral("Expected a dictionary for the key \"linkedIn\" but found text.");
        QTest::newRow("root is an array")
            << QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>")
            << QStringLiteral("Expected a dictionary at the top level but found an array.");
        QTest::newRow("truncated XML")
            << plist(required).left(120)
            << QStringLiteral("The data couldn't be read because it isn't in the correct format.");
        QTest::newRow("empty file")
            << QByteArray()
            << QStringLiteral("The data couldn't be read because it isn't in the correct format.");
        QTest::newRow("not a property list")
            << QByteArray("{\"api\": {}}")
            << QStringLiteral("The data couldn't be read because it isn't in the correct format.");
    }

    void rejectsInvalidResources() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, description);
        QString error;
        QVERIFY(!AppConfiguration::decode(bytes, &error));
        QCOMPARE(error, description);
    }

    void survivesDamagedBinaryPropertyLists() {
        QFile file(QFINDTESTDATA("fixtures/AppConfiguration.binary.plist"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray good = file.readAll();
        // Every truncation and a sweep of flipped bytes: each decodes or fails, never crashes.
        for (qsizetype length = 0; length < good.size(); ++length) {
            QString error;
            QVERIFY(!AppConfiguration::decode(good.left(length), &error));
            QVERIFY(!error.isEmpty());
        }
        for (qsizetype i = 0; i < good.size(); ++i) {
            QByteArray damaged = good;
            damaged[i] = char(damaged[i] ^ 0x5a);
            QString error;
            if (!AppConfiguration::decode(damaged, &error)) {
                QVERIFY(!error.isEmpty());
            }
        }
    }

    // Binary lists written out byte for byte; libplist aborts on UTF-16 text holding U+0000.
    void refusesUtf16TextHoldingNul_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("value") << QByteArray::fromHex(
            "62706c6973743030d1010253617069d10304576261736555524c66006800e90000006c006c006f080b0f"
            "121a00000000000001010000000000000005000000000000000000000000000000"
            "27");
        QTest::newRow("key") << QByteArray::fromHex(
            "62706c6973743030d1010264006b00e9000000795176080b140000000000000101000000000000000300"
            "000000000000000000000000000016");
        QTest::newRow("value with its length as an integer") << QByteArray::fromHex(
            "62706c6973743030d1010253617069d10304576261736555524c6f102100680074007400700073003a00"
            "2f002f00e900780061006d0070006c0065002e0063006f006d002f0000002f006c006f006e0067002000"
            "65006e006f007500670068080b0f121a0000000000000101000000000000000500000000000000000000"
            "0000000000005f");
    }
    void refusesUtf16TextHoldingNul() {
        QFETCH(QByteArray, bytes);
        QString error;
        QVERIFY(!AppConfiguration::decode(bytes, &error));
        QCOMPARE(error, QStringLiteral(
                            "The data couldn't be read because it isn't in the correct format."));

        QTemporaryDir dir;
        QFile info(dir.filePath(QStringLiteral("Info.plist")));
        QVERIFY(info.open(QIODevice::WriteOnly));
        info.write(bytes);
        info.close();
        QVERIFY(quillon::AppBundle(dir.path()).infoDictionary().isEmpty());
    }

    void readsUtf16TextFromBinaryInfoDictionary() {
        QTemporaryDir dir;
        QFile info(dir.filePath(QStringLiteral("Info.plist")));
        QVERIFY(info.open(QIODevice::WriteOnly));
        // {"CFBundleVersion": "7\u00e9"}
        info.write(QByteArray::fromHex("62706c6973743030d101025f100f434642756e646c6556657273696f6e"
                                       "62003700e9080b1d000000000000010100000000000000030000000000"
                                       "0000000000000000000022"));
        info.close();
        QCOMPARE(quillon::AppBundle(dir.path()).infoDictionary(),
                 (QVariantMap{{QStringLiteral("CFBundleVersion"), QStringLiteral("7\u00e9")}}));
    }

    void bundleFindsResourceAndInfoDictionary() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const quillon::AppBundle bundle(dir.path());
        QVERIFY(
            !bundle.pathForResource(QStringLiteral("AppConfiguration"), QStringLiteral("plist")));
        QVERIFY(bundle.infoDictionary().isEmpty());

        QFile info(dir.filePath(QStringLiteral("Info.plist")));
        QVERIFY(info.open(QIODevice::WriteOnly));
        info.write(plist("<key>SentryTracesSampleRate</key><real>0.25</real><key>CFBundleVersion</"
                         "key><string>7</string>"));
        info.close();
        const QVariantMap dictionary = bundle.infoDictionary();
        QCOMPARE(dictionary.value(QStringLiteral("SentryTracesSampleRate")).typeId(),
                 int(QMetaType::Double));
        QCOMPARE(dictionary.value(QStringLiteral("SentryTracesSampleRate")).toDouble(), 0.25);
        QCOMPARE(dictionary.value(QStringLiteral("CFBundleVersion")).toString(),
                 QStringLiteral("7"));
    }
};

QTEST_GUILESS_MAIN(TestAppConfiguration)
#include "tst_appconfiguration.moc"
