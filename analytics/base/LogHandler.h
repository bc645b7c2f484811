#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace signalpost {

// The analytics client's logging sink: a minimum level and a function that receives every
// message at or above it. Copies share one handler function.
class LogHandler {
public:
    enum class LogLevel { debug = 0, info = 1, error = 2 };
    using Handler = std::function<void(LogLevel, const QString&)>;

    LogHandler(LogLevel logLevel, Handler handler);

    LogLevel logLevel() const { return m_logLevel; }
    void setLogLevel(LogLevel level) { m_logLevel = level; }
    const Handler& handler() const { return *m_handler; }

    // Whether a message at `level` reaches the handler function: at least the handler's level.
    bool accepts(LogLevel level) const;
    // Passes the message on when the handler accepts `level`.
    void log(LogLevel level, const QString& message) const;

    // The system log where there is one; the journal and syslog always stand in on Linux.
    static LogHandler platformDefault(LogLevel level);

    // One system-log entry per message: subsystem "Signalpost", category "LogHandler".
    static void standard(LogLevel level, const QString& message);
    // One line on standard output: "[Signalpost: LEVEL] message". (The C library claims
    // the name `stdout` for a macro.)
    static void standardOutput(LogLevel level, const QString& message);

    static std::optional<LogLevel> logLevelFromRawValue(int rawValue);
    static QString description(LogLevel level);

private:
    LogLevel m_logLevel;
    std::shared_ptr<const Handler> m_handler;
};

// The filter as every log site uses it: an absent handler logs nothing.
inline void log(const std::optional<LogHandler>& handler, LogHandler::LogLevel level,
                const QString& message) {
    if (handler) {
        handler->log(level, message);
    }
}

// For messages costly to build: whether `log` would pass one at `level` on.
inline bool wouldLog(const std::optional<LogHandler>& handler, LogHandler::LogLevel level) {
    return handler && handler->accepts(level);
}

} // namespace signalpost
