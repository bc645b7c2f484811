#pragma once

#include <QString>

namespace quillon {

// Catches the fatal signals (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP) and writes one
// Sentry event envelope for the crash into a folder, then lets the process die as it would
// have. The handler uses async-signal-safe calls only: everything it writes but the signal,
// the time and the frame addresses is rendered when it is installed, the loaded objects with
// their build IDs as well, refreshed by refreshImages(). Signal handlers belong
// to the process, so there is one recorder per process.
class FatalSignalRecorder {
public:
    FatalSignalRecorder() = delete;

    // False when one is installed already.
    static bool install(const QString& folder, const QString& dsn, const QString& environment,
                        const QString& release);
    // Puts back the handlers that were there before.
    static void uninstall();
    static bool isInstalled();

    // Reads the list of loaded objects anew for the envelope's "debug_meta" when objects were
    // loaded or unloaded since the last reading; cheap otherwise. Call it while healthy: the
    // handler cannot read the list itself.
    static void refreshImages();
};

} // namespace quillon
