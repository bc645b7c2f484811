#include "analytics/payload/SessionManager.h"

#include "analytics/base/FacadeCalls.h"
#include "analytics/base/UserIdentifierHashing.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTimer>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace signalpost {
namespace {

const QString recentSessionsKey = u"recentSessions"_s;
const QString deletedSessionsCountKey = u"deletedSessionsCount"_s;
const QString firstSessionDateKey = u"firstSessionDate"_s;
const QString distinctDaysUsedKey = u"distinctDaysUsed"_s;

// Beyond this a number of seconds no longer fits 64-bit milliseconds.
constexpr double largestSeconds = 9.2e15;

// The INI store gives back text for numbers written in another process; anything that is
// not an integer reads as zero.
qint64 readInteger(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return value.toLongLong();
    case QMetaType::QString: {
        bool ok = false;
        const qint64 number = value.toString().toLongLong(&ok);
        return ok ? number : 0;
    }
    default:
        return 0;
    }
}

// The INI store gives a one-entry list back as plain text.
QStringList readTextList(const QVariant& value) {
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList();
    }
    if (value.typeId() == QMetaType::QString) {
        return {value.toString()};
    }
    return {};
}

// A stored count can be anything; the figures stop at the largest number instead of wrapping.
qint64 saturatingAdd(qint64 a, qint64 b) {
    qint64 sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    }
    return sum;
}

std::optional<qint64> integralSeconds(const QJsonValue& value) {
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (std::trunc(number) != number || std::fabs(number) > largestSeconds) {
        return std::nullopt;
    }
    return static_cast<qint64>(number);
}

} // namespace

SessionManager& SessionManager::shared() {
    static SessionManager* const instance = new SessionManager();
    return *instance;
}

SessionManager::SessionManager(std::optional<QString> defaultsOverride, Clock clock)
    : m_defaultsOverride(std::move(defaultsOverride))
    , m_clock(std::move(clock))
    , m_currentSessionStartedAtMSecs(distantPast().toMSecsSinceEpoch()) {
    m_persistenceQueue.setMaxThreadCount(1);
    m_persistenceQueue.setObjectName(u"com.signalpost.sessionmanager.persistence"_s);

    if (const auto defaults = store()) {
        const QVariant data = defaults->value(recentSessionsKey);
        const auto sessions = data.typeId() == QMetaType::QByteArray
                                  ? decodeSessions(data.toByteArray())
                                  : std::nullopt;
        if (sessions) {
            const qint64 cutOff = now().toMSecsSinceEpoch() - retentionSeconds * 1000;
            QList<StoredSession> kept;
            for (const StoredSession& session : *sessions) {
                if (session.startedAtMSecs > cutOff) {
                    kept.append(session);
                }
            }
            const qint64 deleted =
                saturatingAdd(readInteger(defaults->value(deletedSessionsCountKey)),
                              sessions->size() - kept.size());
            {
                QMutexLocker locker(&m_sessionsLock);
                m_unsafeRecentSessions = kept;
            }
            if (kept.size() < sessions->size()) {
                // Written before the constructor returns, as the day of use is: the first
                // signal's payload is built right after, and its total must count the sessions
                // just removed from the list. The pruned list itself waits for the next session
                // update.
                defaults->setValue(deletedSessionsCountKey, deleted);
                defaults->sync();
            } else {
                // Nothing removed: the count as stored, which no read can be ahead of.
                persist([deleted](QSettings& settings) {
                    settings.setValue(deletedSessionsCountKey, deleted);
                });
            }
        }
    }
    recordDayOfUse();

    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        m_applicationState = QGuiApplication::applicationState();
        QObject::connect(app, &QGuiApplication::applicationStateChanged, &m_notificationContext,
                         [this](Qt::ApplicationState state) { applicationStateChanged(state); });
    }
}

SessionManager::~SessionManager() {
    stopTimer();
    m_persistenceQueue.waitForDone();
}

QDateTime SessionManager::now() const {
    return m_clock ? m_clock() : QDateTime::currentDateTime();
}

std::unique_ptr<QSettings> SessionManager::store() const {
    if (m_defaultsOverride) {
        return std::make_unique<QSettings>(*m_defaultsOverride, QSettings::IniFormat);
    }
    return facade::defaultsSuite();
}

std::optional<QString> SessionManager::storePath() const {
    if (m_defaultsOverride) {
        return m_defaultsOverride;
    }
    const auto suite = facade::defaultsSuite();
    return suite ? std::optional<QString>(suite->fileName()) : std::nullopt;
}

void SessionManager::persist(std::function<void(QSettings&)> write) {
    // The store is chosen now, as the write is asked for. The settings object is made, used
    // and destroyed on the persistence thread: a QSettings posts itself an update event on
    // every write, which must not reach an object another thread has destroyed.
    const auto path = storePath();
    if (!path) {
        return;
    }
    m_persistenceQueue.start([path = *path, write = std::move(write)] {
        QSettings defaults(path, QSettings::IniFormat);
        write(defaults);
        defaults.sync();
    });
}

void SessionManager::recordDayOfUse() {
    // Written before the constructor returns: the first signal's payload counts today.
    const auto defaults = store();
    if (!defaults) {
        return;
    }
    QStringList days = readTextList(defaults->value(distinctDaysUsedKey));
    const QString today = dayText(now());
    if (!days.isEmpty() && days.last() == today) {
        return;
    }
    days.append(today);
    defaults->setValue(distinctDaysUsedKey, days);
    defaults->sync();
}

void SessionManager::startNewSession() {
    stopTimer();
    bool first = false;
    {
        QMutexLocker locker(&m_sessionsLock);
        first = m_unsafeRecentSessions.isEmpty();
    }
    if (first) {
        const QString today = dayText(now());
        persist([today](QSettings& settings) { settings.setValue(firstSessionDateKey, today); });
        facade::internalSignal(u"Signalpost.Acquisition.newInstallDetected"_s,
                               {{u"Signalpost.Acquisition.firstSessionDate"_s, today}});
    }
    m_currentSessionStartedAtMSecs = now().toMSecsSinceEpoch();
    m_currentSessionDuration = 0;
    updateSessionDuration();
    startTimer();
}

void SessionManager::updateSessionDuration() {
    const QDateTime moment = now();
    if (m_sessionDurationLastUpdatedAt) {
        m_currentSessionDuration += m_sessionDurationLastUpdatedAt->msecsTo(moment) / 1000.0;
    }
    m_sessionDurationLastUpdatedAt = moment;
    if (!(m_currentSessionDuration >= 1.0)) {
        return;
    }
    persistSession(m_currentSessionStartedAtMSecs,
                   static_cast<qint64>(std::min(m_currentSessionDuration, 9.2e18)));
}

void SessionManager::persistSession(qint64 startedAtMSecs, qint64 durationInSeconds) {
    auto update = [this, startedAtMSecs, durationInSeconds] {
        QList<StoredSession> copy;
        {
            QMutexLocker locker(&m_sessionsLock);
            auto it = std::find_if(m_unsafeRecentSessions.rbegin(), m_unsafeRecentSessions.rend(),
                                   [&](const StoredSession& session) {
                                       return session.startedAtMSecs == startedAtMSecs;
                                   });
            if (it != m_unsafeRecentSessions.rend()) {
                it->durationInSeconds = durationInSeconds;
            } else {
                m_unsafeRecentSessions.append({startedAtMSecs, durationInSeconds});
            }
            copy = m_unsafeRecentSessions;
        }
        return encodeSessions(copy);
    };
    // The sessions in memory are updated even without a store.
    m_persistenceQueue.start([path = storePath(), update] {
        const QByteArray data = update();
        if (path) {
            QSettings defaults(*path, QSettings::IniFormat);
            defaults.setValue(recentSessionsKey, data);
            defaults.sync();
        }
    });
}

void SessionManager::handleDidEnterBackgroundNotification() {
    updateSessionDuration();
    stopTimer();
}

void SessionManager::handleWillEnterForegroundNotification() {
    updateSessionDuration();
    m_sessionDurationUpdater.reset();
    startTimer();
}

void SessionManager::applicationStateChanged(int state) {
    const int previous = m_applicationState;
    m_applicationState = state;
    if (state == Qt::ApplicationActive) {
        handleWillEnterForegroundNotification();
    } else if (previous == Qt::ApplicationActive) {
        handleDidEnterBackgroundNotification();
    }
}

void SessionManager::stopTimer() {
    m_sessionDurationUpdater.reset();
    m_sessionDurationLastUpdatedAt.reset();
}

void SessionManager::startTimer() {
    m_sessionDurationUpdater = std::make_unique<QTimer>();
    m_sessionDurationUpdater->setInterval(1000);
    QObject::connect(m_sessionDurationUpdater.get(), &QTimer::timeout,
                     m_sessionDurationUpdater.get(), [this] { updateSessionDuration(); });
    m_sessionDurationUpdater->start();
}

bool SessionManager::isDurationTimerRunning() const {
    return m_sessionDurationUpdater && m_sessionDurationUpdater->isActive();
}

void SessionManager::waitForPersistence() {
    m_persistenceQueue.waitForDone();
}

QList<SessionManager::StoredSession> SessionManager::recentSessions() const {
    QMutexLocker locker(&m_sessionsLock);
    return m_unsafeRecentSessions;
}

qint64 SessionManager::totalSessionsCount() const {
    return totalSessionsCount(store().get());
}

qint64 SessionManager::totalSessionsCount(const QSettings* defaults) const {
    const qint64 stored = recentSessions().size();
    return saturatingAdd(stored,
                         defaults ? readInteger(defaults->value(deletedSessionsCountKey)) : 0);
}

qint64 SessionManager::averageSessionSeconds() const {
    const QList<StoredSession> sessions = recentSessions();
    if (sessions.isEmpty()) {
        return -1;
    }
    if (sessions.size() == 1) {
        return sessions.first().durationInSeconds;
    }
    // Wide enough for any sum a corrupted store could hold.
    long double sum = 0;
    for (qsizetype i = 0; i + 1 < sessions.size(); ++i) {
        sum += sessions[i].durationInSeconds;
    }
    return static_cast<qint64>(std::trunc(sum / static_cast<long double>(sessions.size() - 1)));
}

QStringList SessionManager::distinctDaysUsed() const {
    return distinctDaysUsed(store().get());
}

QStringList SessionManager::distinctDaysUsed(const QSettings* defaults) {
    return defaults ? readTextList(defaults->value(distinctDaysUsedKey)) : QStringList();
}

qint64 SessionManager::countDaysSince(const QString& cutOff, const QStringList& days) {
    return std::count_if(days.cbegin(), days.cend(),
                         [&](const QString& day) { return day >= cutOff; });
}

QString SessionManager::dayText(const QDateTime& moment) {
    return moment.toLocalTime().date().toString(Qt::ISODate);
}

std::optional<QList<SessionManager::StoredSession>>
SessionManager::decodeSessions(const QByteArray& data) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return std::nullopt;
    }
    QList<StoredSession> sessions;
    for (const QJsonValue& element : document.array()) {
        const QJsonObject object = element.toObject();
        const QJsonValue startedAt = object.value(QLatin1String("startedAt"));
        const auto duration = integralSeconds(object.value(QLatin1String("durationInSeconds")));
        if (!element.isObject() || !startedAt.isDouble() ||
            !(std::fabs(startedAt.toDouble()) <= largestSeconds) || !duration) {
            return std::nullopt;
        }
        sessions.append({static_cast<qint64>(startedAt.toDouble() * 1000.0), *duration});
    }
    return sessions;
}

QByteArray SessionManager::encodeSessions(const QList<StoredSession>& sessions) {
    QJsonArray array;
    for (const StoredSession& session : sessions) {
        // Whole seconds, cut toward zero.
        array.append(QJsonObject{{u"startedAt"_s, session.startedAtMSecs / 1000},
                                 {u"durationInSeconds"_s, session.durationInSeconds}});
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

} // namespace signalpost
