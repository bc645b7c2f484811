#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdio>

namespace quillon::bench {

// An X server of a benchmark's own: Xvfb with one screen of `screen` (say "1280x800x24") on
// QUILLON_BENCH_DISPLAY, else on a display it chooses; stopped with this object.
class XvfbServer {
public:
    explicit XvfbServer(const QString& screen) {
        QStringList arguments{
            QStringLiteral("-screen"),   QStringLiteral("0"),   screen,
            QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-displayfd"),
            QStringLiteral("1")};
        if (QString display = qEnvironmentVariable("QUILLON_BENCH_DISPLAY"); !display.isEmpty()) {
            arguments.prepend(display.startsWith(u':') ? display : u':' + display);
        }
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(QStringLiteral("Xvfb"), arguments);
        QByteArray number;
        // Xvfb writes its display number once it accepts clients.
        while (!number.contains('\n') && m_process.waitForReadyRead(30000)) {
            number += m_process.readAllStandardOutput();
        }
        if (number.contains('\n')) {
            m_display = ':' + number.trimmed();
        } else {
            std::fprintf(stderr, "Xvfb did not start: %s\n",
                         m_process.readAllStandardError().constData());
        }
    }
    ~XvfbServer() {
        m_process.terminate();
        if (!m_process.waitForFinished()) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // ":N", or empty when Xvfb did not start.
    const QByteArray& display() const { return m_display; }

private:
    QProcess m_process;
    QByteArray m_display;
};

} // namespace quillon::bench
