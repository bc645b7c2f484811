#pragma once

#include "analytics/base/LogHandler.h"

#include <QMutex>
#include <QStringList>
#include <memory>

// Collects what the client logs, from any thread, as "LEVEL message" lines.
class LogRecorder {
public:
    signalpost::LogHandler handler(
        signalpost::LogHandler::LogLevel level = signalpost::LogHandler::LogLevel::debug) const {
        auto state = m_state;
        return signalpost::LogHandler(
            level, [state](signalpost::LogHandler::LogLevel messageLevel, const QString& text) {
                QMutexLocker locker(&state->mutex);
                state->lines.append(signalpost::LogHandler::description(messageLevel) +
                                    QLatin1Char(' ') + text);
            });
    }

    QStringList lines() const {
        QMutexLocker locker(&m_state->mutex);
        return m_state->lines;
    }

    QStringList linesStartingWith(const QString& start) const {
        QStringList matching;
        for (const QString& line : lines()) {
            if (line.startsWith(start)) {
                matching.append(line);
            }
        }
        return matching;
    }

    void clear() {
        QMutexLocker locker(&m_state->mutex);
        m_state->lines.clear();
    }

private:
    struct State {
        QMutex mutex;
        QStringList lines;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};
