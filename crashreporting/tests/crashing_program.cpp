// Starts the crash reporter, then crashes: crashing_program <folder> <dsn> segfault|abort.
#include "crashreporting/CrashReporting.h"
#include "crashreporting/EnvelopeCrashReporter.h"

#include <QCoreApplication>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        return 2;
    }
    // No core files in the test's folders.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);

    quillon::EnvelopeCrashReporter reporter(QString::fromLocal8Bit(argv[1]),
                                            QStringLiteral("dev.tovrel.quillon@2.5+41"));
    quillon::startCrashReporting(reporter, QString::fromLocal8Bit(argv[2]),
                                 QStringLiteral("staging"), 0.5);
    if (std::strcmp(argv[3], "abort") == 0) {
        std::abort();
    }
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
}
