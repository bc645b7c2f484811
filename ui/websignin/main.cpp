// quillon-signin: the sign-in sheet as a program of its own, so the app never loads the web
// engine. Started by the app for one sign-in:
//   quillon-signin --callback-scheme SCHEME [--private] [--transient-for WINDOW] -- URL
// It shows the page and writes on its standard output (see SignInSheetReply) "shown" once its
// window is up, then one line: the callback URL the page reached, or why there is none. The end
// of its standard input closes the sheet without an answer.
#include "ui/websignin/SignInSheetReply.h"
#include "ui/websignin/WebEngineAuthenticationSession.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QStringList>
#include <QStyleFactory>
#include <QWindow>
#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quillon;

namespace {

struct Arguments {
    QString callbackScheme;
    bool ephemeral = false;
    WId transientFor = 0;
    QUrl url;
};

// Read before the application object exists: the callback scheme must be registered first.
std::optional<Arguments> parse(int argc, char* argv[]) {
    Arguments arguments;
    int i = 1;
    for (; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--") {
            ++i;
            break;
        }
        if (argument == "--private") {
            arguments.ephemeral = true;
        } else if (argument == "--callback-scheme" && i + 1 < argc) {
            arguments.callbackScheme = QString::fromUtf8(argv[++i]);
        } else if (argument == "--transient-for" && i + 1 < argc) {
            bool ok = false;
            arguments.transientFor = QByteArray(argv[++i]).toULongLong(&ok);
            if (!ok) {
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
    }
    if (i + 1 != argc || arguments.callbackScheme.isEmpty()) {
        return std::nullopt;
    }
    arguments.url = QUrl::fromEncoded(argv[i], QUrl::StrictMode);
    if (!arguments.url.isValid()) {
        return std::nullopt;
    }
    return arguments;
}

void reply(const SignInSheetReply& answer) {
    const QByteArray line = answer.encode();
    std::fwrite(line.constData(), 1, line.size(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    const auto arguments = parse(argc, argv);
    if (!arguments) {
        std::fputs("usage: quillon-signin --callback-scheme SCHEME [--private] "
                   "[--transient-for WINDOW] -- URL\n",
                   stderr);
        return 2;
    }
    // The web engine refuses to start as root with its sandbox on, and would end the program
    // without a word.
    if (geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        std::fputs("quillon-signin: running as root, so the web engine's sandbox is off\n", stderr);
    }
    // An app gone away stops reading; the answer for it is then simply lost.
    std::signal(SIGPIPE, SIG_IGN);
    WebEngineAuthenticationSession::registerCallbackScheme(arguments->callbackScheme);
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    // The same name as the app's: a remembered sign-in stays where it always was.
    QApplication::setApplicationName(u"Quillon"_s);
    QGuiApplication::setDesktopFileName(u"dev.tovrel.quillon"_s);
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));

    WebEngineAuthenticationSession sheet(
        arguments->url, arguments->callbackScheme,
        [](std::optional<QUrl> callbackURL, std::optional<WebAuthenticationSessionError> error) {
            SignInSheetReply answer;
            if (callbackURL) {
                answer = {SignInSheetReply::Kind::callback, *callbackURL};
            } else if (error &&
                       error->code() == WebAuthenticationSessionError::Code::webContentTerminated) {
                answer.kind = SignInSheetReply::Kind::webContentTerminated;
            }
            reply(answer);
            QCoreApplication::quit();
        });
    sheet.setPrefersEphemeralWebBrowserSession(arguments->ephemeral);
    QObject::connect(&sheet, &WebEngineAuthenticationSession::shown, &application, [] {
        reply({SignInSheetReply::Kind::shown, {}});
    });
    std::unique_ptr<QWindow> app;
    if (arguments->transientFor != 0 && QGuiApplication::platformName() == u"xcb") {
        app.reset(QWindow::fromWinId(arguments->transientFor));
        sheet.setTransientParent(app.get());
    }
    if (!sheet.start()) {
        reply({SignInSheetReply::Kind::missingWindow, {}});
        return 1;
    }

    // The app closes our input when it no longer waits for the sheet, or when it goes away.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &application, [&input] {
        char buffer[256];
        if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });
    return QApplication::exec();
}
