#pragma once

#include "core/backend/WebAuthenticationSession.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <chrono>

class QWidget;

namespace quillon {

// The sign-in sheet as a program of its own (quillon-signin), started for one sign-in, so the
// app itself never loads the web engine. The sheet is kept in front of the app's window, which
// takes no input while it is open, except Escape, which cancels the sheet, and the window's
// close, which closes the sheet with it. A program that shows no window within its bound ends
// the session with an error. Dropping or cancelling the session closes the program.
class SignInSheetSession final : public QObject, public WebAuthenticationSession {
    Q_OBJECT

public:
    // Long enough for a cold start of the web engine on a slow machine.
    static constexpr std::chrono::milliseconds defaultWindowBound{25000};

    SignInSheetSession(QString program, QUrl url, QString callbackURLScheme,
                       CompletionHandler completion,
                       std::chrono::milliseconds windowBound = defaultWindowBound);
    // A sheet still open is closed and ends as cancelled.
    ~SignInSheetSession() override;

    // False without a window system to show the sheet on, or when it was started before. A
    // program that cannot be started ends the session with an error instead.
    bool start() override;
    void cancel() override;

    // The window held still while the sheet is open; none once it has ended.
    QWidget* blockedWindow() const;
    // The program's process while it runs, else 0.
    qint64 processId() const;
    // The program said its window is on the screen.
    bool hasShownWindow() const { return m_shownWindow; }

    // quillon-signin beside the running program.
    static QString installedProgram();
    static WebAuthenticationSessionFactory
    factory(QString program, std::chrono::milliseconds windowBound = defaultWindowBound);
    // The window the sheet shows over: the active window, else the first visible window,
    // else none (the sheet is then a window of its own).
    static QWidget* presentationAnchor();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void readReplies();
    void processFailed(QProcess::ProcessError error);
    void processFinished(int exitCode, QProcess::ExitStatus status);
    void finish(std::optional<QUrl> callbackURL,
                std::optional<WebAuthenticationSessionError> error);
    void closeProgram();

    const QString m_program;
    bool m_started = false;
    QProcess* m_process = nullptr;
    QByteArray m_output;
    QPointer<QWidget> m_blocked;
    // Runs from the start until the program says its window is up.
    QTimer m_windowBound;
    bool m_shownWindow = false;
};

} // namespace quillon
