#pragma once

#include <QMutex>
#include <QWaitCondition>
#include <deque>
#include <functional>
#include <map>
#include <memory>

namespace signalpost {

// Signals on their way from a caller to the cache: a hop to the main thread, then a build on a
// pool thread. Each step is kept here until it has run, not only in an event queue, so that a
// quit can still run the steps that an ended event loop or a busy pool would never run.
class PendingSignalWork : public std::enable_shared_from_this<PendingSignalWork> {
public:
    using Step = std::function<void()>;

    // Runs `step` on the main thread after the steps handed over before it; at once on this
    // thread when there is no application object.
    void toMainThread(Step step);
    // Runs `step` on a pool thread.
    void toPool(Step step);
    // On the main thread: runs every step still waiting, here and now, and waits for the pool
    // steps already running. Steps handed over meanwhile are run too.
    void finish();

private:
    void runMainThreadSteps();
    void runPoolStep(quint64 id);

    QMutex m_mutex;
    QWaitCondition m_poolIdle;
    std::deque<Step> m_mainThreadSteps;
    std::map<quint64, Step> m_poolSteps;
    quint64 m_nextPoolStep = 0;
    int m_runningPoolSteps = 0;
};

} // namespace signalpost
