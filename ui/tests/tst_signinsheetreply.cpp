#include "ui/websignin/SignInSheetReply.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillon;
using Kind = SignInSheetReply::Kind;

Q_DECLARE_METATYPE(SignInSheetReply)

// The one line the sign-in sheet program answers the app with.
class TestSignInSheetReply : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void encodesOneLine_data() {
        QTest::addColumn<SignInSheetReply>("reply");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("callback")
            << SignInSheetReply{Kind::callback,
                                QUrl(u"quillon://linkedin/callback?state=a%20b&x=%C3%A9"_s)}
            << QByteArray("callback quillon://linkedin/callback?state=a%20b&x=%C3%A9\n");
        QTest::newRow("callback with a line break in it")
            << SignInSheetReply{Kind::callback, QUrl(u"quillon://cb?state=a%0Ab"_s)}
            << QByteArray("callback quillon://cb?state=a%0Ab\n");
        QTest::newRow("shown") << SignInSheetReply{Kind::shown, {}} << QByteArray("shown\n");
        QTest::newRow("cancelled")
            << SignInSheetReply{Kind::cancelled, {}} << QByteArray("cancelled\n");
        QTest::newRow("terminated") << SignInSheetReply{Kind::webContentTerminated, {}}
                                    << QByteArray("web-content-terminated\n");
        QTest::newRow("no window")
            << SignInSheetReply{Kind::missingWindow, {}} << QByteArray("missing-window\n");
    }
    void encodesOneLine() {
        QFETCH(SignInSheetReply, reply);
        QFETCH(QByteArray, line);
        QCOMPARE(reply.encode(), line);
        QCOMPARE(SignInSheetReply::decode(QByteArrayView(line).chopped(1), u"quillon"), reply);
    }

    void refusesWhatTheProgramNeverWrites_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("unknown word") << QByteArray("signed-in");
        QTest::newRow("word with more after it") << QByteArray("cancelled now");
        QTest::newRow("callback without a URL") << QByteArray("callback ");
        QTest::newRow("callback without a scheme") << QByteArray("callback /linkedin/callback");
        QTest::newRow("callback with a space in the URL")
            << QByteArray("callback quillon://cb?state=a b");
        QTest::newRow("callback word alone") << QByteArray("callback");
        QTest::newRow("shown with more after it") << QByteArray("shown now");
        // A callback is only ever on the app's own scheme.
        QTest::newRow("callback on https") << QByteArray("callback https://evil.example/cb");
        QTest::newRow("callback on http") << QByteArray("callback http://127.0.0.1/cb?state=s");
        QTest::newRow("callback on a file") << QByteArray("callback file:///etc/passwd");
        QTest::newRow("callback on javascript") << QByteArray("callback javascript:alert(1)");
        QTest::newRow("callback on a scheme that begins alike")
            << QByteArray("callback quillonx://linkedin/callback");
        QTest::newRow("callback on a scheme that ends alike")
            << QByteArray("callback xquillon://linkedin/callback");
    }
    void refusesWhatTheProgramNeverWrites() {
        QFETCH(QByteArray, line);
        QCOMPARE(SignInSheetReply::decode(line, u"quillon"), std::nullopt);
    }
};

QTEST_APPLESS_MAIN(TestSignInSheetReply)
#include "tst_signinsheetreply.moc"
