#include "tests/support/TaskOutcome.h"

#include <QCoroSignal>
#include <QTest>
#include <QTimer>

using namespace quillon::testsupport;

namespace {

class Gate : public QObject {
    Q_OBJECT

Q_SIGNALS:
    void opened(int value);
};

QCoro::Task<int> valueThrough(Gate& gate) {
    co_return co_await qCoro(&gate, &Gate::opened);
}

} // namespace

class TestTaskOutcome : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aTaskEndingAfterTheLimitLeavesLaterWaitsAlone() {
        Gate late;
        auto given = awaitOutcome(valueThrough(late), std::chrono::milliseconds(1));
        QVERIFY(!given.finished);

        // The first task ends while the next wait runs, before the next task does.
        Gate next;
        QTimer::singleShot(0, &late, [&late] { Q_EMIT late.opened(7); });
        QTimer::singleShot(0, &next, [&next] { Q_EMIT next.opened(5); });
        const auto outcome = awaitOutcome(valueThrough(next));
        QVERIFY(!given.finished);
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.value, std::optional<int>(5));
    }
};

QTEST_GUILESS_MAIN(TestTaskOutcome)
#include "tst_taskoutcome.moc"
