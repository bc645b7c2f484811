#include "analytics/pipeline/PendingSignalWork.h"

#include <QCoreApplication>
#include <QThreadPool>

namespace signalpost {

void PendingSignalWork::toMainThread(Step step) {
    {
        QMutexLocker locker(&m_mutex);
        m_mainThreadSteps.push_back(std::move(step));
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        runMainThreadSteps();
        return;
    }
    std::weak_ptr<PendingSignalWork> weak = weak_from_this();
    QMetaObject::invokeMethod(
        app,
        [weak] {
            if (const auto self = weak.lock()) {
                self->runMainThreadSteps();
            }
        },
        Qt::QueuedConnection);
}

void PendingSignalWork::toPool(Step step) {
    quint64 id = 0;
    {
        QMutexLocker locker(&m_mutex);
        id = m_nextPoolStep++;
        m_poolSteps.emplace(id, std::move(step));
    }
    std::weak_ptr<PendingSignalWork> weak = weak_from_this();
    QThreadPool::globalInstance()->start([weak, id] {
        if (const auto self = weak.lock()) {
            self->runPoolStep(id);
        }
    });
}

void PendingSignalWork::runMainThreadSteps() {
    for (;;) {
        Step step;
        {
            QMutexLocker locker(&m_mutex);
            if (m_mainThreadSteps.empty()) {
                return;
            }
            step = std::move(m_mainThreadSteps.front());
            m_mainThreadSteps.pop_front();
        }
        step();
    }
}

void PendingSignalWork::runPoolStep(quint64 id) {
    Step step;
    {
        QMutexLocker locker(&m_mutex);
        const auto found = m_poolSteps.find(id);
        if (found == m_poolSteps.end()) {
            return; // finish() ran it already
        }
        step = std::move(found->second);
        m_poolSteps.erase(found);
        ++m_runningPoolSteps;
    }
    step();
    QMutexLocker locker(&m_mutex);
    --m_runningPoolSteps;
    m_poolIdle.wakeAll();
}

void PendingSignalWork::finish() {
    for (;;) {
        runMainThreadSteps();
        std::map<quint64, Step> waiting;
        {
            QMutexLocker locker(&m_mutex);
            waiting.swap(m_poolSteps);
        }
        // Run here rather than waited for: the pool may be busy with work that waits for
        // this thread.
        for (auto& [id, step] : waiting) {
            step();
        }
        QMutexLocker locker(&m_mutex);
        while (m_runningPoolSteps > 0) {
            m_poolIdle.wait(&m_mutex);
        }
        if (m_mainThreadSteps.empty() && m_poolSteps.empty()) {
            return;
        }
    }
}

} // namespace signalpost
