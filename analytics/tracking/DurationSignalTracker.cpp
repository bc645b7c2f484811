#include "analytics/tracking/DurationSignalTracker.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocale>
#include <cmath>

using namespace Qt::StringLiterals;

namespace signalpost {

DurationSignalTracker& DurationSignalTracker::shared() {
    static DurationSignalTracker* const instance = new DurationSignalTracker();
    return *instance;
}

DurationSignalTracker::DurationSignalTracker(Clock clock)
    : m_clock(std::move(clock)) {
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        m_applicationState = QGuiApplication::applicationState();
        // Direct: the tracker may be built on any thread, and its handlers lock for themselves.
        QObject::connect(
            app, &QGuiApplication::applicationStateChanged, &m_notificationContext,
            [this](Qt::ApplicationState state) { applicationStateChanged(state); },
            Qt::DirectConnection);
    }
}

void DurationSignalTracker::applicationStateChanged(int state) {
    int previous = 0;
    {
        QMutexLocker locker(&m_queue);
        previous = m_applicationState;
        m_applicationState = state;
    }
    if (state == Qt::ApplicationActive) {
        handleWillEnterForegroundNotification();
    } else if (previous == Qt::ApplicationActive) {
        handleDidEnterBackgroundNotification();
    }
}

std::chrono::system_clock::time_point DurationSignalTracker::now() const {
    return m_clock ? m_clock() : std::chrono::system_clock::now();
}

void DurationSignalTracker::setClock(Clock clock) {
    QMutexLocker locker(&m_queue);
    m_clock = std::move(clock);
}

void DurationSignalTracker::startTracking(const QString& name,
                                          const QMap<QString, QString>& parameters,
                                          bool includeBackgroundTime) {
    QMutexLocker locker(&m_queue);
    m_startedSignals.insert(name, CachedData{now(), parameters, includeBackgroundTime});
}

std::optional<DurationSignalTracker::Measurement>
DurationSignalTracker::stopTracking(const QString& name) {
    QMutexLocker locker(&m_queue);
    const auto found = m_startedSignals.constFind(name);
    if (found == m_startedSignals.cend()) {
        return std::nullopt;
    }
    const std::chrono::duration<double> elapsed = now() - found->startTime;
    Measurement measurement{elapsed.count(), found->parameters};
    m_startedSignals.erase(found);
    return measurement;
}

void DurationSignalTracker::handleDidEnterBackgroundNotification() {
    QMutexLocker locker(&m_queue);
    m_lastEnteredBackground = now();
}

void DurationSignalTracker::handleWillEnterForegroundNotification() {
    QMutexLocker locker(&m_queue);
    shiftStartTimesAfterInactivity();
}

void DurationSignalTracker::shiftStartTimesAfterInactivity() {
    if (!m_lastEnteredBackground) {
        return;
    }
    const auto inactive = now() - *m_lastEnteredBackground;
    for (CachedData& data : m_startedSignals) {
        if (!data.includeBackgroundTime) {
            data.startTime += inactive;
        }
    }
    m_lastEnteredBackground.reset();
}

QString DurationSignalTracker::secondsText(double seconds) {
    const double thousandths = std::floor(seconds * 1000) / 1000;
    QString text = QLocale::c().toString(thousandths, 'f', QLocale::FloatingPointShortest);
    if (!text.contains(QLatin1Char('.'))) {
        text += u".0"_s;
    }
    return text;
}

} // namespace signalpost
