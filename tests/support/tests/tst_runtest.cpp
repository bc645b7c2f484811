// The test runner: whatever a test leaves behind, its folder and its processes, is gone when the
// runner returns or is killed, and the test's exit status is the runner's; the web engine's
// sandbox is off only where it cannot start.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString runner() {
    return qEnvironmentVariable("QUILLON_SOURCE_DIR") + u"/tests/support/run-test"_s;
}

// Prints its sandbox and every process carrying it, leaves a process running, then exits with
// the status it is given.
// clang-format off
const char* const leavingBehind = R"sh(
echo "sandbox=$(dirname "$HOME")"
test -d "$HOME" && echo "home exists"
sleep 600 >/dev/null 2>&1 &
for entry in /proc/[0-9]*; do
    if grep -qzxF "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" "$entry/environ" 2>/dev/null; then
        echo "pid=${entry#/proc/} $(cat "$entry/comm" 2>/dev/null)"
    fi
done
exit "$1"
)sh";

// Prints its sandbox, its session bus and every process carrying the sandbox, then waits to be
// killed.
const char* const waitingToBeKilled = R"sh(
echo "sandbox=$(dirname "$HOME")"
echo "bus=$DBUS_SESSION_BUS_ADDRESS"
sleep 600 >/dev/null 2>&1 &
for entry in /proc/[0-9]*; do
    if grep -qzxF "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" "$entry/environ" 2>/dev/null; then
        echo "pid=${entry#/proc/} $(cat "$entry/comm" 2>/dev/null)"
    fi
done
echo listed
exec sleep 600 >/dev/null
)sh";
// clang-format on

QList<pid_t> childrenOf(pid_t parent) {
    QList<pid_t> children;
    const QStringList entries = QDir(u"/proc"_s).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        QFile stat(u"/proc/"_s + entry + u"/stat"_s);
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // "pid (comm) state ppid ...", where comm may hold spaces and parentheses.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toInt() == parent) {
            children.append(entry.toInt());
        }
    }
    return children;
}

// As ctest ends a test that runs out of time: stopped so that it starts nothing more, then every
// process below it, then itself, by SIGKILL.
void killTree(pid_t pid) {
    kill(pid, SIGSTOP);
    for (const pid_t child : childrenOf(pid)) {
        killTree(child);
    }
    kill(pid, SIGKILL);
}

// Gone, or a zombie that only its reaper still has to collect.
bool isRunning(const QString& pid) {
    QFile stat(u"/proc/"_s + pid + u"/stat"_s);
    if (!stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) != "Z";
}

// What the program run in the sandbox printed of it: "sandbox=<folder>", then a line
// "pid=<pid> <command>" for every process that carried the sandbox.
struct Listed {
    QString sandbox;
    QStringList pids;
    QStringList commands;
};

Listed listedIn(const QString& output) {
    Listed listed;
    listed.sandbox = QRegularExpression(u"^sandbox=(.+)$"_s, QRegularExpression::MultilineOption)
                         .match(output)
                         .captured(1);
    auto matches = QRegularExpression(u"^pid=(\\d+) (.*)$"_s, QRegularExpression::MultilineOption)
                       .globalMatch(output);
    while (matches.hasNext()) {
        const auto match = matches.next();
        listed.pids.append(match.captured(1));
        listed.commands.append(match.captured(2));
    }
    return listed;
}

} // namespace

class RunTestTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void leavesNothingBehind_data();
    void leavesNothingBehind();
    void leavesNothingBehindWhenKilled_data();
    void leavesNothingBehindWhenKilled();
    void webEngineSandboxIsOffWhereItCannotStart_data();
    void webEngineSandboxIsOffWhereItCannotStart();
};

void RunTestTest::leavesNothingBehind_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("exitStatus");
    // Left running by the program or its session, besides the one it started itself.
    QTest::addColumn<QStringList>("leftRunning");
    QTest::newRow("plain, passing") << "plain" << 0 << QStringList{"sleep"};
    QTest::newRow("plain, failing") << "plain" << 3 << QStringList{"sleep"};
    QTest::newRow("keyring, passing") << "keyring" << 0 << QStringList{"sleep", "gnome-keyring-d"};
    QTest::newRow("keyring, failing") << "keyring" << 5 << QStringList{"sleep", "gnome-keyring-d"};
}

void RunTestTest::leavesNothingBehind() {
    QFETCH(QString, mode);
    QFETCH(int, exitStatus);
    QFETCH(QStringList, leftRunning);

    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.start(runner(), {mode, u"/bin/sh"_s, u"-c"_s, QString::fromLatin1(leavingBehind), u"sh"_s,
                         QString::number(exitStatus)});
    QVERIFY2(run.waitForFinished(120000), qPrintable(run.errorString()));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), exitStatus);

    const QString output = QString::fromUtf8(run.readAllStandardOutput());
    const Listed listed = listedIn(output);
    QVERIFY2(!listed.sandbox.isEmpty(), qPrintable(output));
    QVERIFY(output.contains(u"home exists"_s));
    QVERIFY2(!QDir(listed.sandbox).exists(), qPrintable(listed.sandbox));

    // Every process the program saw in its sandbox, itself included, has ended.
    for (qsizetype i = 0; i < listed.pids.size(); ++i) {
        QVERIFY2(!isRunning(listed.pids[i]),
                 qPrintable(listed.pids[i] + u' ' + listed.commands[i]));
    }
    for (const QString& command : leftRunning) {
        QVERIFY2(listed.commands.contains(command), qPrintable(output));
    }
}

void RunTestTest::leavesNothingBehindWhenKilled_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("running");
    QTest::newRow("plain") << "plain" << QStringList{"sleep"};
    QTest::newRow("keyring") << "keyring" << QStringList{"sleep", "gnome-keyring-d"};
}

void RunTestTest::leavesNothingBehindWhenKilled() {
    QFETCH(QString, mode);
    QFETCH(QStringList, running);

    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.start(runner(), {mode, u"/bin/sh"_s, u"-c"_s, QString::fromLatin1(waitingToBeKilled)});
    QVERIFY2(run.waitForStarted(), qPrintable(run.errorString()));
    QString output;
    while (!output.contains(u"listed\n"_s) && run.waitForReadyRead(120000)) {
        output += QString::fromUtf8(run.readAllStandardOutput());
    }
    QVERIFY2(output.contains(u"listed\n"_s), qPrintable(output));
    const Listed listed = listedIn(output);
    const QString& sandbox = listed.sandbox;
    QVERIFY2(QDir(sandbox).exists(), qPrintable(output));
    for (const QString& command : running) {
        QVERIFY2(listed.commands.contains(command), qPrintable(output));
    }

    killTree(pid_t(run.processId()));
    QVERIFY(run.waitForFinished(30000));
    QCOMPARE(run.exitStatus(), QProcess::CrashExit);

    // The socket of a session bus killed with its test stays where the bus put it.
    const QString bus =
        QRegularExpression(u"^bus=unix:path=([^,\\n]+)"_s, QRegularExpression::MultilineOption)
            .match(output)
            .captured(1);
    QCOMPARE(bus.isEmpty(), mode == u"plain"_s);

    // What the runner could not clean up is cleaned up for it, soon.
    QTRY_VERIFY2_WITH_TIMEOUT(!QDir(sandbox).exists(), qPrintable(sandbox), 30000);
    QVERIFY2(bus.isEmpty() || !QFileInfo::exists(bus), qPrintable(bus));
    for (const QString& pid : listed.pids) {
        QTRY_VERIFY2_WITH_TIMEOUT(!isRunning(pid), qPrintable(pid), 30000);
    }
}

void RunTestTest::webEngineSandboxIsOffWhereItCannotStart_data() {
    QTest::addColumn<int>("unshareStatus");
    QTest::addColumn<QString>("expected");
    // Root never gets the sandbox, whatever the machine allows.
    const QString unlessRoot = geteuid() == 0 ? u"1"_s : u"unset"_s;
    QTest::newRow("user namespaces allowed") << 0 << unlessRoot;
    QTest::newRow("user namespaces refused") << 1 << "1";
}

void RunTestTest::webEngineSandboxIsOffWhereItCannotStart() {
    QFETCH(int, unshareStatus);
    QFETCH(QString, expected);

    // A stand-in for unshare answers the probe as a machine that allows or refuses namespaces.
    QTemporaryDir bin;
    QVERIFY(bin.isValid());
    QFile unshare(bin.filePath(u"unshare"_s));
    QVERIFY(unshare.open(QIODevice::WriteOnly));
    unshare.write("#!/bin/sh\nexit " + QByteArray::number(unshareStatus) + "\n");
    unshare.close();
    QVERIFY(unshare.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // This test's own runner may have set it already.
    environment.remove(u"QTWEBENGINE_DISABLE_SANDBOX"_s);
    environment.insert(u"PATH"_s, bin.path() + QLatin1Char(':') + environment.value(u"PATH"_s));
    QProcess run;
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.start(runner(), {u"plain"_s, u"/bin/sh"_s, u"-c"_s,
                         u"echo \"${QTWEBENGINE_DISABLE_SANDBOX-unset}\""_s});
    QVERIFY2(run.waitForFinished(120000), qPrintable(run.errorString()));
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(run.readAllStandardOutput()).trimmed(), expected);
}

QTEST_GUILESS_MAIN(RunTestTest)
#include "tst_runtest.moc"
