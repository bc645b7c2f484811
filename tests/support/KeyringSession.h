#pragma once

#include <QString>
#include <sys/types.h>

namespace quillon::testsupport {

// The test session's gnome-keyring as a user meets it: its default collection locked and
// unlocked, its own prompts answered or dismissed. gnome-keyring shows its prompts through a
// system prompter, gcr-prompter, which needs a display; here gcr's mock prompter stands in for
// the person at that prompt, and everything else (the daemon, its prompt protocol, the secret
// exchange) is the real one.
namespace keyring {

// Replaces the session's keyring daemon with one whose prompts go to this process. Call once,
// before the first keychain call; false when the daemon could not be replaced.
bool takePrompts();
// Starts such a daemon again over the sandbox's keyring files, unlocked, or over `dataHome`
// with no keyring yet, as on a new user's first start.
bool startDaemon(const QString& dataHome = {});
// The next prompt is answered with the keyring's password (that of tests/support/run-test).
void answerNextPrompt();
// The next prompt is dismissed, as by its Cancel button.
void dismissNextPrompt();
// True once every prompt expected so far has been shown.
bool promptsShown();

bool lockDefaultCollection();
// Through the keyring's unlock prompt, answered here.
bool unlockDefaultCollection();
bool defaultCollectionIsLocked();

} // namespace keyring

// The keyring daemon stopped (SIGSTOP) for the object's lifetime: every call waits, as it does
// while the keyring's own prompt waits for the user.
class StalledKeyring {
public:
    StalledKeyring();
    ~StalledKeyring();
    StalledKeyring(const StalledKeyring&) = delete;
    StalledKeyring& operator=(const StalledKeyring&) = delete;

    bool isStalled() const { return m_pid > 0; }
    // SIGCONT.
    void resume();
    // SIGKILL, as when the stalled daemon is ended: calls it never answered are lost. True once
    // it is gone from the bus.
    bool killDaemon();

private:
    pid_t m_pid = 0;
};

} // namespace quillon::testsupport
