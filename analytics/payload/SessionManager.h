#pragma once

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <functional>
#include <memory>
#include <optional>

class QSettings;
class QTimer;

namespace signalpost {

// Session statistics: the recent sessions with their active seconds and the days on which the
// app was used, kept in the analytics defaults suite, behind the retention figures of every
// signal. Also announces the first session of an installation.
class SessionManager {
public:
    struct StoredSession {
        qint64 startedAtMSecs = 0; // since 1970-01-01 UTC
        qint64 durationInSeconds = 0;
        friend bool operator==(const StoredSession&, const StoredSession&) = default;
    };
    using Clock = std::function<QDateTime()>;

    // Sessions started this long ago or earlier are dropped when the manager is built.
    static constexpr qint64 retentionSeconds = 7776000; // 90 days

    // Built on first use, over the analytics suite; never destroyed, so its timer and its
    // persistence thread outlive the application object's teardown.
    static SessionManager& shared();

    // `defaultsOverride`: an INI file used instead of the analytics suite. `clock`: the
    // current time, the system's when empty.
    explicit SessionManager(std::optional<QString> defaultsOverride = std::nullopt,
                            Clock clock = {});
    ~SessionManager();
    SessionManager(const SessionManager&) = delete;
    SessionManager& operator=(const SessionManager&) = delete;

    void startNewSession();
    // Adds the active time since the last update; stores the session once it reaches 1 s.
    void updateSessionDuration();
    void handleDidEnterBackgroundNotification();
    void handleWillEnterForegroundNotification();

    // The override, else the analytics suite; none when neither exists.
    std::unique_ptr<QSettings> store() const;
    const std::optional<QString>& defaultsOverride() const { return m_defaultsOverride; }

    // Oldest first, the current session last once stored.
    QList<StoredSession> recentSessions() const;
    // Each figure opens the store; the forms taking it read an open one (none: no store).
    qint64 totalSessionsCount() const;
    qint64 totalSessionsCount(const QSettings* store) const;
    // -1 with no session; the one duration with one; else the mean of all but the newest.
    qint64 averageSessionSeconds() const;
    QStringList distinctDaysUsed() const;
    static QStringList distinctDaysUsed(const QSettings* store);
    // How many of `days` ("yyyy-MM-dd") compare at or after `cutOff`.
    static qint64 countDaysSince(const QString& cutOff, const QStringList& days);

    bool isDurationTimerRunning() const;
    // Blocks until every write asked for so far has reached the store.
    void waitForPersistence();

    // "yyyy-MM-dd" in the current time zone.
    static QString dayText(const QDateTime& moment);
    // None unless `data` is a JSON array of sessions whose times fit 64-bit milliseconds.
    static std::optional<QList<StoredSession>> decodeSessions(const QByteArray& data);
    static QByteArray encodeSessions(const QList<StoredSession>& sessions);

private:
    QDateTime now() const;
    // Where store() reads, for opening it on another thread.
    std::optional<QString> storePath() const;
    void persist(std::function<void(QSettings&)> write);
    void persistSession(qint64 startedAtMSecs, qint64 durationInSeconds);
    void recordDayOfUse();
    void stopTimer();
    void startTimer();
    void applicationStateChanged(int state);

    mutable QMutex m_sessionsLock;
    QList<StoredSession> m_unsafeRecentSessions;
    const std::optional<QString> m_defaultsOverride;
    const Clock m_clock;
    // Used on the thread that starts sessions and gets the activation changes only.
    qint64 m_currentSessionStartedAtMSecs;
    double m_currentSessionDuration = 0;
    std::unique_ptr<QTimer> m_sessionDurationUpdater;
    std::optional<QDateTime> m_sessionDurationLastUpdatedAt;
    int m_applicationState = 0;
    // Serial: one thread, jobs in the order asked for.
    QThreadPool m_persistenceQueue;
    QObject m_notificationContext;
};

} // namespace signalpost
