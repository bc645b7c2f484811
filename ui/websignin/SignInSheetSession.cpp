#include "ui/websignin/SignInSheetSession.h"

#include "ui/websignin/SignInSheetReply.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QKeyEvent>
#include <QScreen>
#include <QShortcutEvent>
#include <QTimer>
#include <QWidget>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace quillon {

namespace {

// A line longer than any callback URL the program writes means it is not ours to read.
constexpr qsizetype longestReply = 64 * 1024;
// A program told to close gets this long before it is killed.
constexpr int closingGrace = 5000;

WebAuthenticationSessionError failed(const QString& detail) {
    return WebAuthenticationSessionError(WebAuthenticationSessionError::Code::sheetFailed, detail);
}

} // namespace

SignInSheetSession::SignInSheetSession(QString program, QUrl url, QString callbackURLScheme,
                                       CompletionHandler completion,
                                       std::chrono::milliseconds windowBound)
    : WebAuthenticationSession(std::move(url), std::move(callbackURLScheme), std::move(completion))
    , m_program(std::move(program)) {
    m_windowBound.setSingleShot(true);
    m_windowBound.setInterval(windowBound);
    // A program that hangs before its window is up would hold the app's window still for good.
    connect(&m_windowBound, &QTimer::timeout, this,
            [this] { finish(std::nullopt, failed(u"it did not open."_s)); });
}

SignInSheetSession::~SignInSheetSession() {
    complete(std::nullopt,
             WebAuthenticationSessionError(WebAuthenticationSessionError::Code::canceledLogin));
    closeProgram();
}

QWidget* SignInSheetSession::blockedWindow() const {
    return m_blocked;
}

qint64 SignInSheetSession::processId() const {
    return m_process ? m_process->processId() : 0;
}

QString SignInSheetSession::installedProgram() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(u"quillon-signin"_s);
}

WebAuthenticationSessionFactory SignInSheetSession::factory(QString program,
                                                            std::chrono::milliseconds windowBound) {
    return
        [program, windowBound](QUrl url, QString callbackURLScheme, CompletionHandler completion) {
            return std::make_unique<SignInSheetSession>(program, std::move(url),
                                                        std::move(callbackURLScheme),
                                                        std::move(completion), windowBound);
        };
}

QWidget* SignInSheetSession::presentationAnchor() {
    if (QWidget* active = QApplication::activeWindow()) {
        return active;
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isWindow() && window->isVisible() && !qobject_cast<QDialog*>(window)) {
            return window;
        }
    }
    return nullptr;
}

bool SignInSheetSession::start() {
    if (m_started || !qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        !QGuiApplication::primaryScreen()) {
        return false;
    }
    m_started = true;

    QStringList arguments{u"--callback-scheme"_s, callbackURLScheme()};
    if (prefersEphemeralWebBrowserSession()) {
        arguments << u"--private"_s;
    }
    QWidget* anchor = presentationAnchor();
    // Only an X window can be named to another program as the one to stay in front of.
    if (anchor && QGuiApplication::platformName() == u"xcb") {
        arguments << u"--transient-for"_s << QString::number(anchor->winId());
    }
    arguments << u"--"_s << QString::fromLatin1(url().toEncoded());

    if (anchor) {
        m_blocked = anchor;
        QCoreApplication::instance()->installEventFilter(this);
    }
    m_process = new QProcess();
    // The program's complaints belong with the app's own.
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &SignInSheetSession::readReplies);
    connect(m_process, &QProcess::errorOccurred, this, &SignInSheetSession::processFailed);
    connect(m_process, &QProcess::finished, this, &SignInSheetSession::processFinished);
    // A sheet that no longer reads its input would outlive an app that was killed, its window
    // left over nothing: it is told to end when the app does. The check after covers an app
    // that ended before the request was made.
    const pid_t app = ::getpid();
    m_process->setChildProcessModifier([app] {
        if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != app) {
            ::_exit(127);
        }
    });
    m_windowBound.start();
    m_process->start(m_program, arguments);
    return true;
}

void SignInSheetSession::cancel() {
    finish(std::nullopt,
           WebAuthenticationSessionError(WebAuthenticationSessionError::Code::canceledLogin));
}

bool SignInSheetSession::eventFilter(QObject* watched, QEvent* event) {
    const auto* widget = qobject_cast<QWidget*>(watched);
    const bool inBlocked = m_blocked && widget && widget->window() == m_blocked;
    switch (event->type()) {
    case QEvent::KeyPress:
        // The way out of a sheet that does not answer, as Escape is in the sheet itself.
        if (inBlocked && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            cancel();
            return true;
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyRelease:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::ContextMenu:
        break;
    case QEvent::Shortcut:
        // Shortcuts reach their action, not the window; the app has no other window to serve.
        // An Escape shortcut of the window cancels the sheet as the plain key does.
        if (!m_blocked) {
            return false;
        }
        if (static_cast<QShortcutEvent*>(event)->key() == QKeySequence(Qt::Key_Escape)) {
            cancel();
        }
        return true;
    case QEvent::Close:
        // The window always closes, keeping what it keeps on any close; its sheet goes with it.
        if (watched == m_blocked) {
            cancel();
        }
        return false;
    default:
        return false;
    }
    return inBlocked;
}

void SignInSheetSession::readReplies() {
    if (!m_process) {
        return;
    }
    m_output += m_process->readAllStandardOutput();
    // "shown" may come first; the next line ends the session (and may drop it).
    for (qsizetype end = m_output.indexOf('\n'); end >= 0; end = m_output.indexOf('\n')) {
        const auto reply =
            SignInSheetReply::decode(QByteArrayView(m_output).first(end), callbackURLScheme());
        m_output.remove(0, end + 1);
        if (!reply || (reply->kind == SignInSheetReply::Kind::shown && m_shownWindow)) {
            finish(std::nullopt, failed(u"it gave an answer that cannot be read."_s));
            return;
        }
        switch (reply->kind) {
        case SignInSheetReply::Kind::shown:
            m_shownWindow = true;
            // Signing in may take the person minutes from here.
            m_windowBound.stop();
            continue;
        case SignInSheetReply::Kind::callback:
            finish(reply->callbackURL, std::nullopt);
            break;
        case SignInSheetReply::Kind::cancelled:
            cancel();
            break;
        case SignInSheetReply::Kind::webContentTerminated:
            finish(std::nullopt, WebAuthenticationSessionError(
                                     WebAuthenticationSessionError::Code::webContentTerminated));
            break;
        case SignInSheetReply::Kind::missingWindow:
            finish(std::nullopt, WebAuthenticationSessionError(
                                     WebAuthenticationSessionError::Code::missingWindow));
            break;
        }
        return;
    }
    if (m_output.size() > longestReply) {
        finish(std::nullopt, failed(u"it gave an answer that cannot be read."_s));
    }
}

void SignInSheetSession::processFailed(QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) {
        // The program and the system's reason are for whoever looks after the installation;
        // the user is told what it means for them.
        qWarning("The sign-in sheet %s could not be started: %s",
                 qUtf8Printable(QDir::toNativeSeparators(m_program)),
                 qUtf8Printable(m_process ? m_process->errorString() : QString()));
        finish(std::nullopt, failed(u"it could not be opened."_s));
    }
}

void SignInSheetSession::processFinished(int exitCode, QProcess::ExitStatus status) {
    const QPointer<SignInSheetSession> self(this);
    readReplies();
    if (!self || isCompleted()) {
        return;
    }
    if (status == QProcess::CrashExit) {
        finish(std::nullopt, failed(u"it closed unexpectedly."_s));
    } else {
        qWarning("The sign-in sheet ended with exit status %d and no answer.", exitCode);
        finish(std::nullopt, failed(u"it closed without an answer."_s));
    }
}

void SignInSheetSession::finish(std::optional<QUrl> callbackURL,
                                std::optional<WebAuthenticationSessionError> error) {
    if (isCompleted()) {
        return;
    }
    closeProgram();
    complete(std::move(callbackURL), std::move(error));
}

void SignInSheetSession::closeProgram() {
    m_windowBound.stop();
    if (m_blocked) {
        QCoreApplication::instance()->removeEventFilter(this);
        m_blocked = nullptr;
    }
    QProcess* process = std::exchange(m_process, nullptr);
    if (!process) {
        return;
    }
    process->disconnect(this);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    // The end of its input is the program's sign to close its sheet; it may take a moment
    // to shut its web engine down, and the app goes on meanwhile. The application keeps it,
    // so one still running when the app quits is killed then.
    process->setParent(QCoreApplication::instance());
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QTimer::singleShot(closingGrace, process, &QProcess::kill);
    process->closeWriteChannel();
}

} // namespace quillon
