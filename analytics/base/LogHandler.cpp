#include "analytics/base/LogHandler.h"

#include <cstdio>
#include <syslog.h>
#include <systemd/sd-journal.h>

using namespace Qt::StringLiterals;

namespace signalpost {

LogHandler::LogHandler(LogLevel logLevel, Handler handler)
    : m_logLevel(logLevel)
    , m_handler(std::make_shared<const Handler>(std::move(handler))) {}

bool LogHandler::accepts(LogLevel level) const {
    return static_cast<int>(level) >= static_cast<int>(m_logLevel) && *m_handler;
}

void LogHandler::log(LogLevel level, const QString& message) const {
    if (accepts(level)) {
        (*m_handler)(level, message);
    }
}

LogHandler LogHandler::platformDefault(LogLevel level) {
    return LogHandler(level, &LogHandler::standard);
}

void LogHandler::standard(LogLevel level, const QString& message) {
    int priority = LOG_INFO;
    switch (level) {
    case LogLevel::debug:
        priority = LOG_DEBUG;
        break;
    case LogLevel::info:
        priority = LOG_INFO;
        break;
    case LogLevel::error:
        priority = LOG_ERR;
        break;
    }
    const QByteArray text = message.toUtf8();
    // The journal refuses when it is not running (containers, minimal systems); syslog(3)
    // is then the system log, and it drops the entry quietly when no daemon listens.
    const int result = sd_journal_send(
        "MESSAGE=%s", text.constData(), "PRIORITY=%i", priority, "SYSLOG_IDENTIFIER=Signalpost",
        "SIGNALPOST_SUBSYSTEM=Signalpost", "SIGNALPOST_CATEGORY=LogHandler", nullptr);
    if (result < 0) {
        openlog("Signalpost", LOG_PID, LOG_USER);
        syslog(priority, "%s", text.constData());
    }
}

void LogHandler::standardOutput(LogLevel level, const QString& message) {
    // One fwrite per line so lines from different threads never interleave.
    const QByteArray line = u"[Signalpost: %1] %2\n"_s.arg(description(level), message).toUtf8();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), ::stdout);
    std::fflush(::stdout);
}

std::optional<LogHandler::LogLevel> LogHandler::logLevelFromRawValue(int rawValue) {
    switch (rawValue) {
    case 0:
        return LogLevel::debug;
    case 1:
        return LogLevel::info;
    case 2:
        return LogLevel::error;
    default:
        return std::nullopt;
    }
}

QString LogHandler::description(LogLevel level) {
    switch (level) {
    case LogLevel::debug:
        return u"DEBUG"_s;
    case LogLevel::info:
        return u"INFO"_s;
    case LogLevel::error:
        return u"ERROR"_s;
    }
    return {};
}

} // namespace signalpost
