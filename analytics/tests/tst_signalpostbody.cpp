#include "analytics/pipeline/SignalPostBody.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTimeZone>
#include <limits>

using namespace Qt::StringLiterals;

using signalpost::SignalPostBody;
using Form = SignalPostBody::DateForm;

namespace {

SignalPostBody sampleBody() {
    SignalPostBody body;
    body.receivedAt = QDateTime(QDate(2024, 3, 1), QTime(12, 34, 56, 789), QTimeZone::utc());
    body.appID = u"APP-1"_s;
    body.clientUser = u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"_s;
    body.sessionID = u"6F9619FF-8B86-D011-B42D-00C04FC964FF"_s;
    body.type = u"app_opened"_s;
    body.payload = {{u"locale"_s, u"en_US"_s}};
    body.isTestMode = u"false"_s;
    return body;
}

} // namespace

class SignalPostBodyTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void encodesExactBytes_data();
    void encodesExactBytes();
    void roundTrips_data();
    void roundTrips();
    void decodesStrictly_data();
    void decodesStrictly();
    void decodesEscapes();
    void nonFiniteFloatValueCannotBeEncoded();
    void equality();
    void signalURL_data();
    void signalURL();
};

void SignalPostBodyTest::encodesExactBytes_data() {
    QTest::addColumn<SignalPostBody>("body");
    QTest::addColumn<Form>("form");
    QTest::addColumn<QByteArray>("json");

    QTest::newRow("wire, no float value")
        << sampleBody() << Form::wire
        << QByteArray("{\"receivedAt\":\"2024-03-01T12:34:56+0000\",\"appID\":\"APP-1\","
                      "\"clientUser\":\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f2"
                      "0015ad\",\"sessionID\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\","
                      "\"type\":\"app_opened\",\"payload\":{\"locale\":\"en_US\"},"
                      "\"isTestMode\":\"false\"}");

    SignalPostBody withFloat = sampleBody();
    withFloat.floatValue = 1.5;
    withFloat.isTestMode = u"true"_s;
    withFloat.payload.clear();
    QTest::newRow("cache file, float value, empty payload")
        << withFloat << Form::referenceDate
        << QByteArray("{\"receivedAt\":730989296.789,\"appID\":\"APP-1\","
                      "\"clientUser\":\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f2"
                      "0015ad\",\"sessionID\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\","
                      "\"type\":\"app_opened\",\"floatValue\":1.5,\"payload\":{},"
                      "\"isTestMode\":\"true\"}");

    SignalPostBody escaped = sampleBody();
    escaped.receivedAt = QDateTime(QDate(2024, 3, 1), QTime(14, 34, 56), QTimeZone(7200));
    escaped.type = u"say \"hi\"\\\n\t\x01"_s;
    escaped.payload = {{u"b"_s, u"Zo\u00eb/\u20ac"_s}, {u"a"_s, QString()}};
    QTest::newRow("wire in GMT, escaping, payload in key order")
        << escaped << Form::wire
        << QByteArray("{\"receivedAt\":\"2024-03-01T12:34:56+0000\",\"appID\":\"APP-1\","
                      "\"clientUser\":\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f2"
                      "0015ad\",\"sessionID\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\","
                      "\"type\":\"say \\\"hi\\\"\\\\\\n\\t\\u0001\","
                      "\"payload\":{\"a\":\"\",\"b\":\"Zo\xc3\xab/\xe2\x82\xac\"},"
                      "\"isTestMode\":\"false\"}");
}

void SignalPostBodyTest::encodesExactBytes() {
    QFETCH(SignalPostBody, body);
    QFETCH(Form, form);
    QFETCH(QByteArray, json);
    QCOMPARE(body.toJson(form).value_or("encoding failed"), json);
    // What we write must be JSON that any reader takes.
    QJsonParseError error;
    QJsonDocument::fromJson(json, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
}

void SignalPostBodyTest::roundTrips_data() {
    QTest::addColumn<SignalPostBody>("body");
    QTest::addColumn<Form>("form");
    QTest::addColumn<QDateTime>("receivedAt");

    SignalPostBody withFloat = sampleBody();
    withFloat.floatValue = 0.1;
    QTest::newRow("cache file keeps milliseconds and float")
        << withFloat << Form::referenceDate << withFloat.receivedAt;
    QTest::newRow("wire drops the fraction of a second")
        << sampleBody() << Form::wire
        << QDateTime(QDate(2024, 3, 1), QTime(12, 34, 56), QTimeZone::utc());
    SignalPostBody early = sampleBody();
    early.receivedAt = QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 500), QTimeZone::utc());
    QTest::newRow("before the reference date") << early << Form::referenceDate << early.receivedAt;
}

void SignalPostBodyTest::roundTrips() {
    QFETCH(SignalPostBody, body);
    QFETCH(Form, form);
    QFETCH(QDateTime, receivedAt);
    const auto json = SignalPostBody::encodeArray({body, body}, form);
    QVERIFY(json);
    const auto decoded = SignalPostBody::decodeArray(*json, form);
    QVERIFY(decoded);
    QCOMPARE(decoded->size(), 2);
    SignalPostBody expected = body;
    expected.receivedAt = receivedAt;
    QCOMPARE(decoded->at(0).receivedAt, receivedAt);
    QVERIFY(decoded->at(0) == expected);
    QVERIFY(decoded->at(1) == expected);
}

void SignalPostBodyTest::decodesStrictly_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("decodes");
    QTest::addColumn<bool>("hasFloatValue");
    const QByteArray common = "\"appID\":\"A\",\"clientUser\":\"u\",\"sessionID\":\"s\","
                              "\"type\":\"t\",\"payload\":{\"k\":\"v\"},\"isTestMode\":\"false\"";
    QTest::newRow("complete, members in any order")
        << "[{\"isTestMode\":\"false\",\"receivedAt\":1," + common + "}]" << true << false;
    QTest::newRow("float value null reads as absent")
        << "[{\"receivedAt\":1,\"floatValue\":null," + common + "}]" << true << false;
    QTest::newRow("float value present")
        << "[{\"receivedAt\":1,\"floatValue\":2," + common + "}]" << true << true;
    QTest::newRow("receivedAt missing") << "[{" + common + "}]" << false << false;
    QTest::newRow("receivedAt as text in the cache form")
        << "[{\"receivedAt\":\"2024-03-01T12:34:56+0000\"," + common + "}]" << false << false;
    QTest::newRow("float value as text")
        << "[{\"receivedAt\":1,\"floatValue\":\"2\"," + common + "}]" << false << false;
    QTest::newRow("isTestMode as a Boolean")
        << QByteArray("[{\"receivedAt\":1,\"appID\":\"A\",\"clientUser\":\"u\",\"sessionID\":"
                      "\"s\",\"type\":\"t\",\"payload\":{},\"isTestMode\":false}]")
        << false << false;
    QTest::newRow("payload value not text")
        << QByteArray("[{\"receivedAt\":1,\"appID\":\"A\",\"clientUser\":\"u\",\"sessionID\":"
                      "\"s\",\"type\":\"t\",\"payload\":{\"n\":3},\"isTestMode\":\"true\"}]")
        << false << false;
    QTest::newRow("one bad element fails the array")
        << "[{\"receivedAt\":1," + common + "},{\"receivedAt\":2}]" << false << false;
    QTest::newRow("element not an object") << QByteArray("[1]") << false << false;
    QTest::newRow("object, not an array") << "{\"receivedAt\":1," + common + "}" << false << false;
    QTest::newRow("truncated") << "[{\"receivedAt\":1," + common.left(20) << false << false;
    QTest::newRow("not JSON") << QByteArray("telemetry\x00\xff", 11) << false << false;
    QTest::newRow("whitespace and unknown members skipped")
        << " \n[ {\"extra\":{\"a\":[1,true,null,\"x\\\"\"]},\t\"receivedAt\" : 1 ," + common +
               "} ]\r\n"
        << true << false;
    QTest::newRow("empty array") << QByteArray("[]") << true << false;
    QTest::newRow("bytes after the array")
        << "[{\"receivedAt\":1," + common + "}]x" << false << false;
    QTest::newRow("trailing comma") << "[{\"receivedAt\":1," + common + "},]" << false << false;
    QTest::newRow("raw newline inside text")
        << "[{\"receivedAt\":1," + QByteArray(common).replace("\"t\"", "\"a\nb\"") + "}]" << false
        << false;
    QTest::newRow("unknown escape")
        << "[{\"receivedAt\":1,\"note\":\"\\q\"," + common + "}]" << false << false;
    QTest::newRow("number with leading zero")
        << "[{\"receivedAt\":01," + common + "}]" << false << false;
    QTest::newRow("number with plus") << "[{\"receivedAt\":+1," + common + "}]" << false << false;
    QTest::newRow("number ending in a point")
        << "[{\"receivedAt\":1.," + common + "}]" << false << false;
    QTest::newRow("number too large")
        << "[{\"receivedAt\":1e999," + common + "}]" << false << false;
    QTest::newRow("NaN") << "[{\"receivedAt\":NaN," + common + "}]" << false << false;
    QTest::newRow("exponent number")
        << "[{\"receivedAt\":-0.5e+2,\"floatValue\":1E3," + common + "}]" << true << true;
    QTest::newRow("hostile nesting")
        << "[{\"receivedAt\":1,\"deep\":" + QByteArray(100000, '[') + "}]" << false << false;
}

void SignalPostBodyTest::decodesEscapes() {
    const QByteArray json =
        "[{\"receivedAt\":0,\"appID\":\"caf\\u00e9 \\ud83d\\ude00 \\ud800!\","
        "\"clientUser\":\"\\\"q\\\" \\\\ \\/ \\b\\f\\n\\r\\t\",\"sessionID\":\"s\","
        "\"type\":\"t\",\"payload\":{\"k\\u0031\":\"Zo\xc3\xab\",\"a\":\"first\"},"
        "\"isTestMode\":\"false\"}]";
    const auto decoded = SignalPostBody::decodeArray(json, Form::referenceDate);
    QVERIFY(decoded);
    const SignalPostBody& body = decoded->first();
    QCOMPARE(body.appID, u"caf\u00e9 \U0001F600 \uFFFD!"_s);
    QCOMPARE(body.clientUser, u"\"q\" \\ / \b\f\n\r\t"_s);
    QCOMPARE(body.payload, (QMap<QString, QString>{{"k1", u"Zo\u00eb"_s}, {"a", "first"}}));
    QCOMPARE(body.receivedAt, QDateTime(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc()));
}

void SignalPostBodyTest::decodesStrictly() {
    QFETCH(QByteArray, json);
    QFETCH(bool, decodes);
    QFETCH(bool, hasFloatValue);
    const auto decoded = SignalPostBody::decodeArray(json, Form::referenceDate);
    QCOMPARE(decoded.has_value(), decodes);
    if (decodes && json != "[]") {
        QCOMPARE(decoded->size(), 1);
        QCOMPARE(decoded->first().floatValue.has_value(), hasFloatValue);
        QCOMPARE(decoded->first().payload.value(u"k"_s), u"v"_s);
    }
}

void SignalPostBodyTest::nonFiniteFloatValueCannotBeEncoded() {
    SignalPostBody body = sampleBody();
    body.floatValue = std::numeric_limits<double>::quiet_NaN();
    QVERIFY(!body.toJson(Form::wire));
    QVERIFY(!SignalPostBody::encodeArray({sampleBody(), body}, Form::referenceDate));
}

void SignalPostBodyTest::equality() {
    const SignalPostBody a = sampleBody();
    SignalPostBody b = sampleBody();
    QVERIFY(a == b);
    b.floatValue = 1.0;
    QVERIFY(!(a == b));
    SignalPostBody nan = sampleBody();
    nan.floatValue = std::numeric_limits<double>::quiet_NaN();
    QVERIFY(!(nan == nan));
    b = sampleBody();
    b.payload.insert(u"x"_s, u"y"_s);
    QVERIFY(!(a == b));
}

void SignalPostBodyTest::signalURL_data() {
    QTest::addColumn<QUrl>("base");
    QTest::addColumn<std::optional<QString>>("ns");
    QTest::addColumn<QString>("url");
    using OptionalText = std::optional<QString>;
    QTest::newRow("no slash, no namespace")
        << QUrl("https://ingest.example") << OptionalText() << "https://ingest.example/v2/";
    QTest::newRow("slash and namespace") << QUrl("https://ingest.example/") << OptionalText("team")
                                         << "https://ingest.example/v2/namespace/team/";
    QTest::newRow("empty namespace is none")
        << QUrl("https://ingest.example/") << OptionalText("") << "https://ingest.example/v2/";
    QTest::newRow("path kept") << QUrl("http://127.0.0.1:8080/api") << OptionalText()
                               << "http://127.0.0.1:8080/api/v2/";
    QTest::newRow("namespace with a space does not parse")
        << QUrl("https://ingest.example/") << OptionalText("my team") << "";
    QTest::newRow("invalid base") << QUrl("http://[::1") << OptionalText() << "";
    QTest::newRow("relative base") << QUrl("ingest/") << OptionalText() << "";
}

void SignalPostBodyTest::signalURL() {
    QFETCH(QUrl, base);
    QFETCH(std::optional<QString>, ns);
    QFETCH(QString, url);
    const auto result = SignalPostBody::signalURL(base, ns);
    QCOMPARE(result.has_value(), !url.isEmpty());
    if (result) {
        QCOMPARE(result->toString(), url);
    }
}

QTEST_GUILESS_MAIN(SignalPostBodyTest)
#include "tst_signalpostbody.moc"
