#pragma once

#include <QProcess>
#include <QStringList>
#include <QUrl>

namespace quillon::testsupport {

// The built quillon-backend executable run as a child on a free loopback port, for checks of
// the program itself and for measurements that must not count the backend's memory.
class BackendProcess {
public:
    // Runs the built program with "--port 0" and `arguments`: bin/quillon-backend in
    // $QUILLON_BUILD_DIR, else beside the folder of the running program.
    explicit BackendProcess(QStringList arguments = {});
    ~BackendProcess();
    BackendProcess(const BackendProcess&) = delete;
    BackendProcess& operator=(const BackendProcess&) = delete;

    // False when the program did not start or did not report its port.
    bool isListening() const { return m_port > 0; }
    QUrl baseURL() const;
    // Sends SIGTERM and waits for the exit; the exit code, or -1 when it had to be killed.
    int terminate();
    // Standard output so far.
    QString output();

private:
    QProcess m_process;
    QByteArray m_output;
    int m_port = -1;
};

} // namespace quillon::testsupport
