// quillon-backend: the stand-in backend for tests and local runs.
#include "backend/StandInBackend.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon-backend"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Stands in for Quillon's backend on a loopback address. Publishes nothing; keeps and "
        "prints what it receives. Its page at / sets failures while it runs."));
    parser.addHelpOption();
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Address to listen on."),
                                  QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Port to listen on; 0 picks a free one."),
                                  QStringLiteral("port"), QStringLiteral("8787"));
    const QCommandLineOption scheme(QStringLiteral("callback-scheme"),
                                    QStringLiteral("The app's sign-in callback scheme."),
                                    QStringLiteral("scheme"), QStringLiteral("quillon"));
    const QCommandLineOption fail(
        QStringLiteral("fail"),
        QStringLiteral("Answer an endpoint with a failure, e.g. "
                       "/api/linkedin/post=500:server_error:LinkedIn is down. Repeatable."),
        QStringLiteral("endpoint=status[:error[:description]]"));
    const QCommandLineOption pending(QStringLiteral("pending-forever"),
                                     QStringLiteral("Answer every poll \"pending\"."));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("Do not print the requests."));
    parser.addOptions({host, port, scheme, fail, pending, quiet});
    parser.process(application);
    // A word no option takes is most often the rest of a description left unquoted: it would
    // otherwise be dropped without a word.
    if (const QStringList extra = parser.positionalArguments(); !extra.isEmpty()) {
        std::fprintf(stderr,
                     "quillon-backend: unexpected argument \"%s\" (quote a description that "
                     "has spaces)\n",
                     qPrintable(extra.first()));
        return 2;
    }

    quillon::standin::StandInBackend::Options options;
    options.callbackScheme = parser.value(scheme).toStdString();
    options.printRequests = !parser.isSet(quiet);
    quillon::standin::StandInBackend backend(options);
    backend.setPendingForever(parser.isSet(pending));
    for (const QString& spec : parser.values(fail)) {
        const qsizetype equals = spec.indexOf(u'=');
        const QStringList parts = spec.mid(equals + 1).split(u':');
        bool ok = false;
        const int status = parts.value(0).toInt(&ok);
        if (equals <= 0 || !ok) {
            std::fprintf(stderr, "quillon-backend: cannot read --fail %s\n", qPrintable(spec));
            return 2;
        }
        quillon::standin::StandInBackend::Failure failure{status, std::nullopt, std::nullopt};
        if (parts.size() > 1 && !parts[1].isEmpty()) {
            failure.error = parts[1].toStdString();
        }
        if (parts.size() > 2) {
            failure.errorDescription = parts.mid(2).join(u':').toStdString();
        }
        backend.setFailure(spec.left(equals).toStdString(), failure);
    }

    bool portOk = false;
    const int wanted = parser.value(port).toInt(&portOk);
    const int bound = portOk ? backend.bind(parser.value(host).toStdString(), wanted) : -1;
    if (bound < 0) {
        std::fprintf(stderr, "quillon-backend: cannot listen on %s:%s\n",
                     qPrintable(parser.value(host)), qPrintable(parser.value(port)));
        return 1;
    }
    std::printf("quillon-backend: listening on http://%s:%d\n", qPrintable(parser.value(host)),
                bound);
    std::fflush(stdout);

    // SIGINT and SIGTERM are taken by a thread of their own, where stopping may lock.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::thread([&backend, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        backend.stop();
    }).detach();

    return backend.listen() ? 0 : 1;
}
