#include "tests/support/BackendProcess.h"

#include <QCoreApplication>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace quillon::testsupport {

namespace {

QString builtProgram() {
    // Tests are told the build folder; benchmarks sit in its bench/ folder.
    const QString build = qEnvironmentVariable("QUILLON_BUILD_DIR",
                                               QCoreApplication::applicationDirPath() + u"/.."_s);
    return build + u"/bin/quillon-backend"_s;
}

} // namespace

BackendProcess::BackendProcess(QStringList arguments) {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(builtProgram(), QStringList{u"--port"_s, u"0"_s} + arguments);
    if (!m_process.waitForStarted(10000)) {
        return;
    }
    static const QRegularExpression listening(u"listening on http://[^:]+:(\\d+)"_s);
    // A child of our own reports its port on its first line; waiting here is the test's set-up.
    while (m_process.state() == QProcess::Running && !m_output.contains('\n') &&
           m_process.waitForReadyRead(10000)) {
        m_output += m_process.readAllStandardOutput();
    }
    const auto match = listening.match(QString::fromUtf8(m_output));
    if (match.hasMatch()) {
        m_port = match.captured(1).toInt();
    }
}

BackendProcess::~BackendProcess() {
    if (m_process.state() != QProcess::NotRunning) {
        terminate();
    }
}

QUrl BackendProcess::baseURL() const {
    return QUrl(u"http://127.0.0.1:%1"_s.arg(m_port));
}

int BackendProcess::terminate() {
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(10000);
        return -1;
    }
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QString BackendProcess::output() {
    m_output += m_process.readAllStandardOutput();
    return QString::fromUtf8(m_output);
}

} // namespace quillon::testsupport
