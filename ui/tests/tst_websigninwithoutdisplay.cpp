#include "core/backend/LinkedInAuthService.h"
#include "core/storage/LinkedInTokenStore.h"
#include "tests/support/TaskOutcome.h"
#include "tests/support/TestBackend.h"
#include "ui/websignin/SignInSheetSession.h"
#include "ui/websignin/WebEngineAuthenticationSession.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testsupport;

namespace {

// The connect never gets as far as saving; nothing of the token store is used.
class NoTokenStore final : public LinkedInTokenStore {
public:
    std::optional<LinkedInToken> load() override { return std::nullopt; }
    TokenSave save(const LinkedInToken&) override {
        ++saves;
        return TokenSave::kept;
    }
    TokenDeletion deleteToken() override { return TokenDeletion::done; }
    TokenDeletion deleteAll() override { return TokenDeletion::done; }
    int saves = 0;
};

} // namespace

// Without a window system (no QApplication) the sheet cannot be shown.
class TestWebSignInWithoutDisplay : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The sheet in this process, and the sheet as a program of its own (which is never started).
    void sheetCannotStart_data() {
        QTest::addColumn<bool>("ownProgram");
        QTest::newRow("in this process") << false;
        QTest::newRow("own program") << true;
    }
    void sheetCannotStart() {
        QFETCH(bool, ownProgram);
        bool completed = false;
        const QUrl url(u"https://signin.invalid/"_s);
        const auto completion = [&completed](auto, auto) { completed = true; };
        std::unique_ptr<WebAuthenticationSession> sheet;
        if (ownProgram) {
            sheet = std::make_unique<SignInSheetSession>(u"/bin/false"_s, url, u"quillon"_s,
                                                         completion);
        } else {
            sheet = std::make_unique<WebEngineAuthenticationSession>(url, u"quillon"_s, completion);
        }
        QVERIFY(!sheet->start());
        QVERIFY(!completed);
    }

    void connectReportsTheMissingWindow_data() { sheetCannotStart_data(); }
    void connectReportsTheMissingWindow() {
        QFETCH(bool, ownProgram);
        TestBackend backend;
        auto store = std::make_shared<NoTokenStore>();
        LinkedInAuthService auth(backend.baseURL(), u"quillon"_s, store,
                                 ownProgram ? SignInSheetSession::factory(u"/bin/false"_s)
                                            : WebEngineAuthenticationSession::factory());

        const auto outcome = awaitOutcome(auth.connect());
        QCOMPARE(outcome.description(), u"Cannot open LinkedIn authorization."_s);
        QVERIFY(backend->received("/api/linkedin/cli/result").empty());
        QCOMPARE(store->saves, 0);
    }
};

QTEST_GUILESS_MAIN(TestWebSignInWithoutDisplay)
#include "tst_websigninwithoutdisplay.moc"
