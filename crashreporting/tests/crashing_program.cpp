// Starts the crash reporter, then crashes:
//   crashing_program <folder> <dsn> segfault|abort|load-later
// load-later loads one more library after the start and crashes from the event loop.
#include "crashreporting/CrashReporting.h"
#include "crashreporting/EnvelopeCrashReporter.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        return 2;
    }
    // No core files in the test's folders.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);

    quillon::EnvelopeCrashReporter reporter(QString::fromLocal8Bit(argv[1]),
                                            u"dev.tovrel.quillon@2.5+41"_s);
    quillon::startCrashReporting(reporter, QString::fromLocal8Bit(argv[2]), u"staging"_s, 0.5);
    if (std::strcmp(argv[3], "abort") == 0) {
        std::abort();
    }
    if (std::strcmp(argv[3], "load-later") == 0) {
        if (!dlopen("libexpat.so.1", RTLD_NOW)) {
            return 3;
        }
        // Timers due together run in the order of their deadlines: the reporter's check for
        // new libraries has run by the time this one fires.
        QTimer::singleShot(3000, [] {
            volatile int* nowhere = nullptr;
            *nowhere = 1;
        });
        return QCoreApplication::exec();
    }
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
}
