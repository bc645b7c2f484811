#pragma once

#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

namespace signalpost {

// The running duration measurements by signal name. Unless a measurement asks otherwise, the
// time the application spends inactive is left out: an activation moves the start times on by
// the inactive period.
class DurationSignalTracker {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    struct Measurement {
        double seconds = 0;
        QMap<QString, QString> parameters;
    };

    // Built on first use; follows the application's activation changes when there is a
    // QGuiApplication. Never destroyed.
    static DurationSignalTracker& shared();

    // `clock`: the current time, the system's when empty.
    explicit DurationSignalTracker(Clock clock = {});
    DurationSignalTracker(const DurationSignalTracker&) = delete;
    DurationSignalTracker& operator=(const DurationSignalTracker&) = delete;

    // Replaces a measurement already running under the name.
    void startTracking(const QString& name, const QMap<QString, QString>& parameters,
                       bool includeBackgroundTime);
    // None when nothing runs under the name.
    std::optional<Measurement> stopTracking(const QString& name);

    void handleDidEnterBackgroundNotification();
    void handleWillEnterForegroundNotification();

    void setClock(Clock clock);

    // Cut down to whole thousandths, as the shortest text that reads back as that double,
    // with at least one digit after the point: "2.0", "12.345", "-0.5".
    static QString secondsText(double seconds);

private:
    struct CachedData {
        std::chrono::system_clock::time_point startTime;
        QMap<QString, QString> parameters;
        bool includeBackgroundTime = false;
    };

    std::chrono::system_clock::time_point now() const;
    void shiftStartTimesAfterInactivity();
    void applicationStateChanged(int state);

    // Stands in for the tracker's serial queue: every access to the fields below holds it.
    mutable QMutex m_queue;
    Clock m_clock;
    QMap<QString, CachedData> m_startedSignals;
    std::optional<std::chrono::system_clock::time_point> m_lastEnteredBackground;
    int m_applicationState = 0;
    QObject m_notificationContext;
};

} // namespace signalpost
