#include "core/backend/LinkedInAuthService.h"
#include "core/storage/LinkedInTokenStore.h"
#include "tests/support/TaskOutcome.h"
#include "tests/support/TestBackend.h"
#include "ui/websignin/WebEngineAuthenticationSession.h"

#include <QTest>

using namespace quillon;
using namespace quillon::testsupport;

namespace {

// The connect never gets as far as saving; nothing of the token store is used.
class NoTokenStore final : public LinkedInTokenStore {
public:
    std::optional<LinkedInToken> load() override { return std::nullopt; }
    void save(const LinkedInToken&) override { ++saves; }
    void deleteToken() override {}
    void deleteAll() override {}
    int saves = 0;
};

} // namespace

// Without a window system (no QApplication) the sheet cannot be shown.
class TestWebSignInWithoutDisplay : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sheetCannotStart() {
        bool completed = false;
        WebEngineAuthenticationSession sheet(QUrl(u"https://signin.invalid/"_qs), u"quillon"_qs,
                                             [&completed](auto, auto) { completed = true; });
        QVERIFY(!sheet.start());
        QVERIFY(!completed);
    }

    void connectReportsTheMissingWindow() {
        TestBackend backend;
        auto store = std::make_shared<NoTokenStore>();
        LinkedInAuthService auth(backend.baseURL(), u"quillon"_qs, store,
                                 WebEngineAuthenticationSession::factory());

        const auto outcome = awaitOutcome(auth.connect());
        QCOMPARE(outcome.description(), u"Cannot open LinkedIn authorization."_qs);
        QVERIFY(backend->received("/api/linkedin/cli/result").empty());
        QCOMPARE(store->saves, 0);
    }
};

QTEST_GUILESS_MAIN(TestWebSignInWithoutDisplay)
#include "tst_websigninwithoutdisplay.moc"
