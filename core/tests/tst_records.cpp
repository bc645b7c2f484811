#include "core/model/Draft.h"
#include "core/model/JsonCoding.h"
#include "core/model/LinkedInProfile.h"
#include "core/model/LinkedInToken.h"

#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using namespace quillon;

namespace {

LinkedInProfile profile(std::optional<QString> headline, std::optional<QString> localized) {
    LinkedInProfile p;
    p.memberID = u"m-1"_s;
    p.name = u"Ada"_s;
    p.headline = std::move(headline);
    p.localizedHeadline = std::move(localized);
    return p;
}

QDateTime utc(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
}

} // namespace

class TestRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void draftTitle_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("title");

        const QString hundred(100, u'a');
        // A family emoji of seven code points (eleven UTF-16 units) is one character.
        const QString family = u"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"_s;
        QString seventyTwo;
        QString seventyThree;
        for (int i = 0; i < 73; ++i) {
            (i < 72 ? seventyTwo : seventyThree) += (i % 2 ? family : u"b"_s);
        }
        seventyThree.prepend(seventyTwo);

        QTest::newRow("empty") << QString() << u"Untitled draft"_s;
        QTest::newRow("only line feeds") << u"\n\n\n"_s << u"Untitled draft"_s;
        QTest::newRow("leading line feeds") << u"\n\nFirst line\nSecond"_s << u"First line"_s;
        QTest::newRow("trimmed") << u"  \tHello world \n"_s << u"Hello world"_s;
        QTest::newRow("spaces only line") << u"   \nSecond"_s << QString();
        QTest::newRow("CR LF does not split") << u"One\r\nTwo"_s << u"One\r\nTwo"_s;
        QTest::newRow("100 letters") << hundred << QString(72, u'a');
        QTest::newRow("72 mixed characters") << seventyTwo << seventyTwo;
        QTest::newRow("73 mixed characters") << seventyThree << seventyTwo;
        QTest::newRow("combining accent stays whole")
            << QString(71, u'x') + u"e\u0301\u0301z"_s << QString(71, u'x') + u"e\u0301\u0301"_s;
    }

    void draftTitle() {
        QFETCH(QString, body);
        QFETCH(QString, title);
        const Draft draft{QUuid::createUuid(), body, QDateTime::currentDateTimeUtc(),
                          QDateTime::currentDateTimeUtc()};
        QCOMPARE(draft.title(), title);
    }

    void displayHeadline_data() {
        QTest::addColumn<std::optional<QString>>("headline");
        QTest::addColumn<std::optional<QString>>("localized");
        QTest::addColumn<std::optional<QString>>("expected");
        using Text = std::optional<QString>;

        QTest::newRow("localized wins")
            << Text(u"Engineer"_s) << Text(u" Ingenieur\n"_s) << Text(u"Ingenieur"_s);
        QTest::newRow("blank localized falls back")
            << Text(u"Word "_s) << Text(u"   "_s) << Text(u"Word"_s);
        QTest::newRow("both absent") << Text() << Text() << Text();
        QTest::newRow("both blank") << Text(u"\n"_s) << Text(u""_s) << Text();
    }

    void displayHeadline() {
        QFETCH(std::optional<QString>, headline);
        QFETCH(std::optional<QString>, localized);
        QFETCH(std::optional<QString>, expected);
        QCOMPARE(profile(headline, localized).displayHeadline(), expected);
    }

    void tokenWithoutOptionalsRoundTrips() {
        LinkedInToken token;
        token.accessToken = u"access"_s;
        token.profile = profile(std::nullopt, std::nullopt);
        token.connectedAt = QDateTime::fromMSecsSinceEpoch(1'765'359'663'789, QTimeZone::utc());

        const QByteArray bytes = token.toJsonBytes();
        const QJsonObject object = QJsonDocument::fromJson(bytes).object();
        QCOMPARE(object.keys(), QStringList({u"accessToken"_s, u"connectedAt"_s, u"profile"_s}));
        QCOMPARE(object.value(u"profile"_s).toObject().keys(),
                 QStringList({u"memberId"_s, u"name"_s}));
        QCOMPARE(object.value(u"connectedAt"_s).toString(), u"2025-12-10T09:41:03Z"_s);

        const auto back = LinkedInToken::fromJsonBytes(bytes);
        QVERIFY(back);
        LinkedInToken expected = token;
        expected.connectedAt = utc("2025-12-10T09:41:03Z");
        QCOMPARE(*back, expected);
    }

    void tokenWithEveryFieldRoundTrips() {
        const QByteArray json =
            R"({"accessToken":"a","idToken":"i","tokenType":"Bearer","scope":"w_member_social", "expiresIn":5184000,"profile":{"memberId":"m","name":"N","pictureUrl":"https://p.example/x.jpg", "email":"n@example.com","headline":"H","localizedHeadline":"L","extra":1}, "connectedAt":"2026-01-02T03:04:05+01:00","unknown":[1,2]})";
        QString error;
        const auto token = LinkedInToken::fromJsonBytes(json, &error);
        QVERIFY2(token, qPrintable(error));
        QCOMPARE(token->expiresIn, std::optional<qint64>(5184000));
        QCOMPARE(token->profile.pictureURL, std::optional<QString>(u"https://p.example/x.jpg"_s));
        QCOMPARE(token->connectedAt, utc("2026-01-02T02:04:05Z"));
        QCOMPARE(LinkedInToken::fromJsonBytes(token->toJsonBytes()), token);
    }

    void unreadableTokens_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");
        const QByteArray profile = R"("profile":{"memberId":"m","name":"N"})";
        QTest::newRow("missing access token")
            << QByteArray("{" + profile + R"(,"connectedAt":"2026-01-02T03:04:05Z"})")
            << u"No value for the key \"accessToken\"."_s;
        QTest::newRow("null access token")
            << QByteArray(R"({"accessToken":null,)" + profile +
                          R"(,"connectedAt":"2026-01-02T03:04:05Z"})")
            << u"No value for the key \"accessToken\"."_s;
        QTest::newRow("member id a number")
            << QByteArray(
                   R"({"accessToken":"a","profile":{"memberId":7,"name":"N"},"connectedAt":"2026-01-02T03:04:05Z"})")
            << u"Expected text for the key \"profile.memberId\"."_s;
        QTest::newRow("fractional seconds")
            << QByteArray(R"({"accessToken":"a",)" + profile +
                          R"(,"connectedAt":"2026-01-02T03:04:05.123Z"})")
            << u"Expected an ISO 8601 date for the key \"connectedAt\"."_s;
        QTest::newRow("date without zone")
            << QByteArray(R"({"accessToken":"a",)" + profile +
                          R"(,"connectedAt":"2026-01-02T03:04:05"})")
            << u"Expected an ISO 8601 date for the key \"connectedAt\"."_s;
        QTest::newRow("impossible date")
            << QByteArray(R"({"accessToken":"a",)" + profile +
                          R"(,"connectedAt":"2026-02-30T03:04:05Z"})")
            << u"Expected an ISO 8601 date for the key \"connectedAt\"."_s;
        QTest::newRow("fractional expiresIn")
            << QByteArray(R"({"accessToken":"a","expiresIn":1.5,)" + profile +
                          R"(,"connectedAt":"2026-01-02T03:04:05Z"})")
            << u"Expected a whole number for the key \"expiresIn\"."_s;
        QTest::newRow("expiresIn as text")
            << QByteArray(R"({"accessToken":"a","expiresIn":"60",)" + profile +
                          R"(,"connectedAt":"2026-01-02T03:04:05Z"})")
            << u"Expected a whole number for the key \"expiresIn\"."_s;
        QTest::newRow("profile not an object")
            << QByteArray(
                   R"({"accessToken":"a","profile":[],"connectedAt":"2026-01-02T03:04:05Z"})")
            << u"Expected an object for the key \"profile\"."_s;
        QTest::newRow("array at the top")
            << QByteArray("[]") << u"Expected a JSON object at the top level."_s;
    }

    void unreadableTokens() {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        QString description;
        QVERIFY(!LinkedInToken::fromJsonBytes(json, &description));
        QCOMPARE(description, error);
    }

    void notJsonIsUnreadable() {
        QString description;
        QVERIFY(!LinkedInToken::fromJsonBytes("{\"accessToken\":", &description));
        QVERIFY(description.startsWith(u"The data is not valid JSON"_s));
    }

    void draftListCoding() {
        const QUuid id = QUuid::fromString(u"6F9619FF-8B86-D011-B42D-00C04FC964FF"_s);
        const QList<Draft> drafts{
            {id, u"Body \U0001F600"_s, utc("2026-01-02T03:04:05Z"), utc("2026-01-03T03:04:05Z")}};
        const QByteArray bytes = Draft::listToJson(drafts);
        QCOMPARE(
            bytes,
            QByteArray(
                R"([{"body":"Body )"
                "\xF0\x9F\x98\x80"
                R"(","createdAt":"2026-01-02T03:04:05Z","id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","updatedAt":"2026-01-03T03:04:05Z"}])"));
        QCOMPARE(Draft::listFromJson(bytes), std::optional<QList<Draft>>(drafts));

        QVERIFY(!Draft::listFromJson("{}"));
        QVERIFY(!Draft::listFromJson(
            R"([{"id":"not-a-uuid","body":"b","createdAt":"2026-01-02T03:04:05Z","updatedAt":"2026-01-02T03:04:05Z"}])"));
        QVERIFY(!Draft::listFromJson(
            R"([{"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","createdAt":"2026-01-02T03:04:05Z","updatedAt":"2026-01-02T03:04:05Z"}])"));
        QVERIFY(!Draft::listFromJson(R"([1])"));
        QCOMPARE(Draft::listFromJson("[]"), std::optional<QList<Draft>>(QList<Draft>()));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
