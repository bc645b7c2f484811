#include "core/app/AppBundle.h"
#include "core/app/AppConfiguration.h"

#include <QTemporaryDir>
#include <QTest>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

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

// A literal that holds NUL bytes, all of it.
template <qsizetype N> QByteArray withNul(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

// How a child process fared reading the bytes as the configuration and as Info.plist.
struct ChildOutcome {
    int signal = 0;
    QString error;
    bool infoIsEmpty = false;
};

ChildOutcome readInChild(const QByteArray& bytes, const QString& bundleDirectory) {
    int channel[2];
    if (pipe(channel) != 0) {
        return {};
    }
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        return {};
    }
    if (child == 0) {
        close(channel[0]);
#if !defined(__SANITIZE_ADDRESS__)
        // Input that eats memory ends this child soon, not the machine.
        const rlimit memory{1L << 30, 1L << 30};
        setrlimit(RLIMIT_DATA, &memory);
#endif
        QString error;
        AppConfiguration::decode(bytes, &error);
        const bool empty = quillon::AppBundle(bundleDirectory).infoDictionary().isEmpty();
        const QByteArray report = (empty ? "1" : "0") + error.toUtf8();
        const bool written =
            write(channel[1], report.constData(), size_t(report.size())) == ssize_t(report.size());
        _exit(written ? 0 : 1);
    }
    close(channel[1]);
    QByteArray report;
    char buffer[4096];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;) {
        report.append(buffer, got);
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ChildOutcome outcome;
    outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    outcome.infoIsEmpty = report.startsWith('1');
    outcome.error = QString::fromUtf8(report.mid(1));
    return outcome;
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
        QCOMPARE(configuration->api.baseURL, QUrl(u"https://api.example.com/v1"_s));
        QCOMPARE(configuration->linkedIn.callbackURLScheme, u"quillon"_s);
        QCOMPARE(configuration->storage.draftsKey, u"drafts"_s);
        QCOMPARE(configuration->storage.linkedInTokenKey, u"token"_s);
        QCOMPARE(configuration->observability.sentryDSN, u"https://key@sentry.example.com/1"_s);
        QCOMPARE(configuration->observability.sentryEnvironment, u"staging"_s);
        QCOMPARE(configuration->observability.sentryTracesSampleRate, 0.5);
        // Values are taken as written; trimming is the reader's business.
        QCOMPARE(configuration->observability.signalpostAppID, u" APP-ID "_s);
        QCOMPARE(configuration->observability.signalpostNamespace, u"quillon"_s);
    }

    void absentObservabilityTakesDefaults() {
        QString error;
        const auto configuration = AppConfiguration::decode(plist(required), &error);
        QVERIFY2(configuration, qPrintable(error));
        QCOMPARE(configuration->observability.sentryDSN, QString());
        QCOMPARE(configuration->observability.sentryEnvironment, u"production"_s);
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
        QCOMPARE(configuration->api.baseURL, QUrl(u"https://api.example.com/v1"_s));
        QCOMPARE(configuration->storage.linkedInTokenKey, u"token"_s);
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
            << u"No value associated with key \"observability.sentryDSN\"."_s;
        QTest::newRow("sample rate as text")
            << plist(required + observability({}, "<string>0.5</string>"))
            << u"Expected a number for the key "
               "\"observability.sentryTracesSampleRate\" but found text."_s;
        QTest::newRow("empty baseURL")
            << plist("<key>api</key><dict><key>baseURL</key><string></string></dict>" + noURL)
            << u"Data corrupted at \"api.baseURL\": Invalid baseURL"_s;
        QTest::newRow("baseURL that does not parse")
            << plist("<key>api</key><dict><key>baseURL</key><string>http://exa "
                     "mple.com</string></dict>" +
                     noURL)
            << u"Data corrupted at \"api.baseURL\": Invalid baseURL"_s;
        QTest::newRow("baseURL as a number")
            << plist("<key>api</key><dict><key>baseURL</key><integer>7</integer></dict>" + noURL)
            << u"Expected text for the key \"api.baseURL\" but found a number."_s;
        QTest::newRow("missing section")
            << plist("<key>api</key><dict><key>baseURL</key><string>https://a.example</string></"
                     "dict>")
            << u"No value associated with key \"linkedIn\"."_s;
        QTest::newRow("section of the wrong type")
            << plist(required.left(required.indexOf("<key>linkedIn</key>")) +
                     "<key>linkedIn</key><string>quillon</string>" +
                     required.mid(required.indexOf("<key>storage</key>")))
            << u"Expected a dictionary for the key \"linkedIn\" but found text."_s;
        QTest::newRow("root is an array")
            << QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>")
            << u"Expected a dictionary at the top level but found an array."_s;
        QTest::newRow("truncated XML")
            << plist(required).left(120)
            << u"The data couldn't be read because it isn't in the correct format."_s;
        QTest::newRow("empty file")
            << QByteArray()
            << u"The data couldn't be read because it isn't in the correct format."_s;
        QTest::newRow("not a property list")
            << QByteArray("{\"api\": {}}")
            << u"The data couldn't be read because it isn't in the correct format."_s;
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

    // Input on which libplist ends the program (an assertion on text holding U+0000, a stack
    // overflow, memory exhausted by shared arrays rebuilt at every reference) or silently cuts
    // text at U+0000. Each is read in a child process, so that an abort shows as a failure.
    void refusesInputLibplistCannotTakeIn_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("description");
        const QString format =
            u"The data couldn't be read because it isn't in the correct format."_s;

        QTest::newRow("XML text holding a NUL byte")
            << plist(QByteArray(required).replace("<string>quillon</string>",
                                                  withNul("<string>quil\0lon</string>")))
            << format;
        QTest::newRow("XML text holding a NUL character reference")
            << plist(QByteArray(required).replace("<string>quillon</string>",
                                                  "<string>quil&#0;lon</string>"))
            << format;
        QTest::newRow("XML key outside a dictionary holding a NUL byte")
            << withNul("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><key>a\0b</key>"
                       "</array></plist>")
            << format;
        QTest::newRow("XML dictionary key holding a NUL byte")
            << plist(QByteArray(required).replace("<key>draftsKey</key>",
                                                  withNul("<key>draftsKey\0x</key>")))
            << format;
        QTest::newRow("XML nested past the stack")
            << QByteArray("<plist><array>") + QByteArray("<array>").repeated(300000)
            << u"The data couldn't be read because it is too large."_s;

        // Binary lists written out byte for byte.
        QTest::newRow("UTF-16 value holding NUL")
            << QByteArray::fromHex(
                   "62706c6973743030d1010253617069d10304576261736555524c66006800e90000006c006c006f0"
                   "8"
                   "0b0f121a0000000000000101000000000000000500000000000000000000000000000027")
            << format;
        QTest::newRow("UTF-16 key holding NUL")
            << QByteArray::fromHex("62706c6973743030d1010264006b00e9000000795176080b140000000000000"
                                   "10100000000000000"
                                   "0300000000000000000000000000000016")
            << format;
        QTest::newRow("UTF-16 value holding NUL, its length a 1-byte integer")
            << QByteArray::fromHex("62706c6973743030d1010253617069d10304576261736555524c6f102100680"
                                   "07400740070007300"
                                   "3a002f002f00e900780061006d0070006c0065002e0063006f006d002f00000"
                                   "02f006c006f006e00"
                                   "6700200065006e006f007500670068080b0f121a00000000000001010000000"
                                   "00000000500000000"
                                   "0000000000000000000000005f")
            << format;
        QTest::newRow("UTF-16 value holding NUL, its length a 16-byte integer")
            << QByteArray::fromHex("62706c6973743030d1010253617069d10304576261736555524c6f140000000"
                                   "00000000000000000"
                                   "0000000b00680074007400700073003a002f002f006100000062080b0f121a0"
                                   "00000000000010100"
                                   "0000000000000500000000000000000000000000000042")
            << format;
        QTest::newRow("UTF-16 key holding NUL, its length a 16-byte integer")
            << QByteArray::fromHex(
                   "62706c6973743030d101026f1400000000000000000000000000000004006b00000065007951760"
                   "8"
                   "0b250000000000000101000000000000000300000000000000000000000000000027")
            << format;
        QTest::newRow("ASCII value holding NUL")
            << QByteArray::fromHex("62706c6973743030d101025e434642756e646c6556657273696f53370078080"
                                   "b1a00000000000001"
                                   "0100000000000000030000000000000000000000000000001e")
            << format;
        // Forty arrays, each holding the next one twice: 2^40 arrays once rebuilt.
        QTest::newRow("arrays shared at every level")
            << QByteArray::fromHex("62706c6973743030a20101a20202a20303a20404a20505a20606a20707a2080"
                                   "8a20909a20a0aa20b"
                                   "0ba20c0ca20d0da20e0ea20f0fa21010a21111a21212a21313a21414a21515a"
                                   "21616a21717a21818"
                                   "a21919a21a1aa21b1ba21c1ca21d1da21e1ea21f1fa22020a22121a22222a22"
                                   "323a22424a22525a2"
                                   "2626a22727a22828a0080b0e1114171a1d202326292c2f3235383b3e4144474"
                                   "a4d505356595c5f62"
                                   "65686b6e7174777a7d800000000000000101000000000000002900000000000"
                                   "00000000000000000"
                                   "0081")
            << format;
    }
    void refusesInputLibplistCannotTakeIn() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, description);
        QTemporaryDir dir;
        QFile info(dir.filePath(u"Info.plist"_s));
        QVERIFY(info.open(QIODevice::WriteOnly));
        info.write(bytes);
        info.close();

        const ChildOutcome outcome = readInChild(bytes, dir.path());
        QVERIFY2(outcome.signal == 0, qPrintable(u"ended by signal %1"_s.arg(outcome.signal)));
        QCOMPARE(outcome.error, description);
        QVERIFY(outcome.infoIsEmpty);
    }

    // Binary lists as writers lay them out, which the guard in front of libplist lets through.
    void readsUtf16TextFromBinaryInfoDictionary_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QVariantMap>("dictionary");
        const QString version = u"7\u00e9"_s;
        QTest::newRow("length in the marker")
            << QByteArray::fromHex("62706c6973743030d101025f100f434642756e646c6556657273696f6e"
                                   "62003700e9080b1d000000000000010100000000000000030000000000"
                                   "0000000000000000000022")
            << QVariantMap{{u"CFBundleVersion"_s, version}};
        QTest::newRow("length a 16-byte integer")
            << QByteArray::fromHex("62706c6973743030d101025f100f434642756e646c6556657273696f6e"
                                   "6f1400000000000000000000000000000002003700e9080b1d00000000"
                                   "00000101000000000000000300000000000000000000000000000033")
            << QVariantMap{{u"CFBundleVersion"_s, version}};
        // Equal values written once and referred to twice.
        QTest::newRow("one object for two values")
            << QByteArray::fromHex("62706c6973743030d2010203035161516262003700e9080d0f110000000000"
                                   "000101000000000000000400000000000000000000000000000016")
            << QVariantMap{{u"a"_s, version}, {u"b"_s, version}};
    }
    void readsUtf16TextFromBinaryInfoDictionary() {
        QFETCH(QByteArray, bytes);
        QFETCH(QVariantMap, dictionary);
        QTemporaryDir dir;
        QFile info(dir.filePath(u"Info.plist"_s));
        QVERIFY(info.open(QIODevice::WriteOnly));
        info.write(bytes);
        info.close();
        QCOMPARE(quillon::AppBundle(dir.path()).infoDictionary(), dictionary);
    }

    void bundleFindsResourceAndInfoDictionary() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const quillon::AppBundle bundle(dir.path());
        QVERIFY(!bundle.pathForResource(u"AppConfiguration"_s, u"plist"_s));
        QVERIFY(bundle.infoDictionary().isEmpty());

        QFile info(dir.filePath(u"Info.plist"_s));
        QVERIFY(info.open(QIODevice::WriteOnly));
        info.write(plist("<key>SentryTracesSampleRate</key><real>0.25</real><key>CFBundleVersion</"
                         "key><string>7</string>"));
        info.close();
        const QVariantMap dictionary = bundle.infoDictionary();
        QCOMPARE(dictionary.value(u"SentryTracesSampleRate"_s).typeId(), int(QMetaType::Double));
        QCOMPARE(dictionary.value(u"SentryTracesSampleRate"_s).toDouble(), 0.25);
        QCOMPARE(dictionary.value(u"CFBundleVersion"_s).toString(), u"7"_s);
    }
};

QTEST_GUILESS_MAIN(TestAppConfiguration)
#include "tst_appconfiguration.moc"
