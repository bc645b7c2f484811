// What a person waits for at launch: the built program on an X server (Xvfb), from exec to its
// first window mapped, and its resident memory once idle, against a bare Qt Widgets window
// measured in the same run; once signed out (a first start) and once connected, with a token in
// the keyring (most starts after that). Run inside a session bus with an unlocked keyring, as a
// desktop has. QUILLON_BENCH_DISPLAY picks the display number (else Xvfb chooses a free one),
// QUILLON_BENCH_RUNS the runs of each program (15: even the bare window's launches spread over
// a third of its time), QUILLON_BENCH_APP another build of the app to measure (say, an older
// one). The store holds 15 drafts of 3,000 characters for each of three owners (signed out, the
// connected member, another), in the database and in the INI file older builds read. Prints
// medians and, for each start, the time and memory ratios.
#include "app/bench/XvfbServer.h"
#include "core/storage/SqliteUserDefaults.h"
#include "core/storage/UserDefaultsDraftRepository.h"
#include "tests/support/Median.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QThread>
#include <QTimeZone>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <poll.h>
#include <vector>
#include <xcb/xcb.h>

using namespace Qt::StringLiterals;

namespace {

struct Launch {
    double mappedMs = 0;
    double residentMiB = 0;
};

// Resident memory of a process in MiB, from /proc; 0 when it is gone.
double residentMiB(qint64 pid) {
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
        }
    }
    return 0;
}

// Waits for the first top-level window (not a popup) mapped on the screen; false after 30 s.
bool waitForMappedWindow(xcb_connection_t* connection, const QElapsedTimer& clock) {
    const int fd = xcb_get_file_descriptor(connection);
    while (clock.elapsed() < 30000) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            const bool mapped =
                (event->response_type & 0x7f) == XCB_MAP_NOTIFY &&
                !reinterpret_cast<xcb_map_notify_event_t*>(event)->override_redirect;
            free(event);
            if (mapped) {
                return true;
            }
        }
        if (xcb_connection_has_error(connection)) {
            return false;
        }
        pollfd readable{fd, POLLIN, 0};
        poll(&readable, 1, 100);
    }
    return false;
}

std::optional<Launch> launch(const QString& program, xcb_connection_t* connection,
                             const QProcessEnvironment& environment, int idleMs) {
    // Events of the previous program's windows are not this one's.
    while (xcb_generic_event_t* stale = xcb_poll_for_event(connection)) {
        free(stale);
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer clock;
    clock.start();
    process.start(program, {});
    if (!process.waitForStarted() || !waitForMappedWindow(connection, clock)) {
        std::fprintf(stderr, "bench_launch: %s showed no window\n", qPrintable(program));
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    Launch result;
    result.mappedMs = clock.nsecsElapsed() / 1e6;
    QThread::msleep(idleMs);
    result.residentMiB = residentMiB(process.processId());
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
    }
    return result;
}

void printRuns(const char* name, const std::vector<double>& values) {
    std::printf("launch: %-12s runs", name);
    for (const double value : values) {
        std::printf(" %.1f", value);
    }
    std::printf("\n");
}

// A connected member's token in the keyring, as the sign-in leaves it; none when `connected` is
// false. False when secret-tool could not store it or did not run.
bool setToken(bool connected) {
    const QStringList attributes{u"xdg:schema"_s,     u"dev.tovrel.quillon.GenericPassword"_s,
                                 u"service"_s,        u"dev.tovrel.quillon.linkedin"_s,
                                 u"account"_s,        u"linkedin.token"_s,
                                 u"synchronizable"_s, u"false"_s};
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedChannels);
    if (connected) {
        tool.start(u"secret-tool"_s, QStringList{u"store"_s, u"--label=quillon"_s} + attributes);
        tool.write(R"({"accessToken":"bench","profile":{"memberId":"bench-ada","name":"Ada )"
                   R"(Lovelace"},"connectedAt":"2026-12-10T09:00:00Z"})");
        tool.closeWriteChannel();
    } else {
        tool.start(u"secret-tool"_s, QStringList{u"clear"_s} + attributes);
    }
    // Clearing what is not there ends with 1 as well.
    return tool.waitForFinished(10000) && tool.exitStatus() == QProcess::NormalExit &&
           (tool.exitCode() == 0 || !connected);
}

// A full drafts list for each owner, as a user of long standing has.
bool seedDrafts() {
    const QDateTime when(QDate(2026, 12, 1), QTime(9, 0), QTimeZone::utc());
    auto defaults = quillon::SqliteUserDefaults::standard();
    quillon::UserDefaultsDraftRepository repository(u"quillon.drafts"_s, defaults);
    QSettings olderBuilds(quillon::SqliteUserDefaults::standardLegacyIniPath(),
                          QSettings::IniFormat);
    for (const std::optional<QString>& owner :
         {std::optional<QString>(), std::optional<QString>(u"bench-ada"_s),
          std::optional<QString>(u"bench-grace"_s)}) {
        QList<quillon::Draft> drafts;
        for (int n = 0; n < 15; ++n) {
            QString body = u"Draft %1 of %2: "_s.arg(n).arg(owner.value_or(u"nobody"_s));
            while (body.size() < 3000) {
                body += u"What I learned shipping a desktop app, caf\u00e9 \U0001F680. "_s;
            }
            body.truncate(3000);
            drafts.append({QUuid::createUuid(), body, when, when});
        }
        if (repository.saveDrafts(drafts, owner) != quillon::StorageWriteStatus::written) {
            return false;
        }
        olderBuilds.setValue(repository.entryKey(owner), quillon::Draft::listToJson(drafts));
    }
    olderBuilds.sync();
    return olderBuilds.status() == QSettings::NoError;
}

using quillon::testing::median;

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int runs = quillon::testing::benchRuns(15);
    const int idleMs = 3000;
    if (!seedDrafts()) {
        std::fprintf(stderr, "bench_launch: could not store the drafts\n");
        return 1;
    }

    const quillon::bench::XvfbServer xvfb(u"1280x800x24"_s);
    if (xvfb.display().isEmpty()) {
        return 1;
    }
    const QByteArray& display = xvfb.display();
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DISPLAY"_s, QString::fromLatin1(display));
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);

    const QString bare = QStringLiteral(QUILLON_BARE_WINDOW);
    const QString app = qEnvironmentVariable("QUILLON_BENCH_APP", QStringLiteral(QUILLON_APP));
    enum Kind { bareWindow, signedOut, connected };
    std::vector<double> ms[3], mib[3];
    int status = 0;
    // In turns, each run starting one further along, so that a change of the machine's load falls
    // on all alike. A first launch of each warms the file cache and the keyring and is not counted.
    for (int run = -1; run < runs && status == 0; ++run) {
        for (int turn = 0; turn < 3 && status == 0; ++turn) {
            const Kind kind = Kind((run + 1 + turn) % 3);
            if (kind != bareWindow && !setToken(kind == connected)) {
                std::fprintf(stderr, "bench_launch: secret-tool could not set the token\n");
                status = 1;
                break;
            }
            const auto result =
                launch(kind == bareWindow ? bare : app, connection, environment, idleMs);
            if (!result) {
                status = 1;
                break;
            }
            if (run >= 0) {
                ms[kind].push_back(result->mappedMs);
                mib[kind].push_back(result->residentMiB);
            }
        }
    }
    xcb_disconnect(connection);
    if (status != 0) {
        return status;
    }

    std::printf("launch on X (%s), medians of %d:\n", display.constData(), runs);
    const char* names[3] = {"bare window", "quillon", "connected"};
    for (const Kind kind : {bareWindow, signedOut, connected}) {
        std::printf("launch: %-12s exec to mapped %8.1f ms   resident once idle %6.1f MiB\n",
                    names[kind], median(ms[kind]), median(mib[kind]));
    }
    for (const Kind kind : {bareWindow, signedOut, connected}) {
        printRuns(names[kind], ms[kind]);
    }
    for (const Kind kind : {signedOut, connected}) {
        std::printf("launch: %-12s time ratio    %.2f (goal at most 1.30)\n", names[kind],
                    median(ms[kind]) / median(ms[bareWindow]));
        std::printf("launch: %-12s memory ratio  %.2f (%+.1f MiB; goal at most +25 MiB)\n",
                    names[kind], median(mib[kind]) / median(mib[bareWindow]),
                    median(mib[kind]) - median(mib[bareWindow]));
    }
    return 0;
}
