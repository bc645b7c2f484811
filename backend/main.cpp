// quillon-backend: the stand-in backend for tests and local runs.
#include "backend/StandInBackend.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

using quillon::standin::StandInBackend;

// An argument the stand-in cannot use stops it with why: a tester who mistyped one would
// otherwise try the app against a stand-in that does something else.
int refuse(const QString& why) {
    std::fprintf(stderr, "quillon-backend: %s\n", qPrintable(why));
    return 2;
}

// A --fail value with a description, ENDPOINT=STATUS:ERROR:DESCRIPTION, takes the words after
// it up to the next option: a description written with spaces and no quotes (as a shell or
// scripts/run splits it) arrives whole, not as its first word.
QStringList joinFailureDescriptions(const QStringList& arguments) {
    QStringList joined;
    bool failValueNext = false;
    bool inDescription = false;
    for (const QString& argument : arguments) {
        if (inDescription && !argument.startsWith(u'-')) {
            joined.last() += u' ' + argument;
            continue;
        }
        joined.append(argument);
        QString value;
        if (failValueNext) {
            value = argument;
        } else if (argument.startsWith(u"--fail="_s)) {
            value = argument.mid(7);
        }
        failValueNext = argument == u"--fail"_s;
        inDescription = value.mid(value.indexOf(u'=') + 1).count(u':') >= 2;
    }
    return joined;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(u"quillon-backend"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Stands in for Quillon's backend on a loopback address. Publishes nothing; keeps and "
        "prints what it receives. Its page at / sets failures while it runs."_s);
    parser.addHelpOption();
    const QCommandLineOption host(u"host"_s, u"Address to listen on."_s, u"address"_s,
                                  u"127.0.0.1"_s);
    const QCommandLineOption port(u"port"_s, u"Port to listen on; 0 picks a free one."_s, u"port"_s,
                                  u"8787"_s);
    const QCommandLineOption scheme(u"callback-scheme"_s, u"The app's sign-in callback scheme."_s,
                                    u"scheme"_s, u"quillon"_s);
    const QCommandLineOption fail(
        u"fail"_s,
        u"Answer an endpoint with a failure, e.g. "
        "/api/linkedin/post=500:server_error:LinkedIn is down. The description "
        "runs up to the next option. Repeatable."_s,
        u"endpoint=status[:error[:description]]"_s);
    const QCommandLineOption pending(u"pending-forever"_s, u"Answer every poll \"pending\"."_s);
    const QCommandLineOption quiet(u"quiet"_s, u"Do not print the requests."_s);
    parser.addOptions({host, port, scheme, fail, pending, quiet});
    if (!parser.parse(joinFailureDescriptions(QCoreApplication::arguments()))) {
        return refuse(parser.errorText() + u" (--help lists the options)"_s);
    }
    if (parser.isSet(u"help"_s)) {
        parser.showHelp();
    }
    if (const QStringList extra = parser.positionalArguments(); !extra.isEmpty()) {
        return refuse(
            u"unexpected argument \"%1\" (--help lists the options)"_s.arg(extra.first()));
    }
    static const QRegularExpression urlScheme(u"^[A-Za-z][A-Za-z0-9+.-]*$"_s);
    if (!urlScheme.match(parser.value(scheme)).hasMatch()) {
        return refuse(u"--callback-scheme \"%1\" is not a URL scheme"_s.arg(parser.value(scheme)));
    }
    bool portOk = false;
    const int wanted = parser.value(port).toInt(&portOk);
    if (!portOk || wanted < 0 || wanted > 65535) {
        return refuse(
            u"--port \"%1\" is not a port: a number from 0 to 65535"_s.arg(parser.value(port)));
    }

    StandInBackend::Options options;
    options.callbackScheme = parser.value(scheme).toStdString();
    options.printRequests = !parser.isSet(quiet);
    StandInBackend backend(options);
    backend.setPendingForever(parser.isSet(pending));
    const std::vector<std::string>& endpoints = StandInBackend::endpoints();
    for (const QString& spec : parser.values(fail)) {
        const qsizetype equals = spec.indexOf(u'=');
        if (equals <= 0) {
            return refuse(
                u"--fail \"%1\": write ENDPOINT=STATUS[:ERROR[:DESCRIPTION]]"_s.arg(spec));
        }
        const std::string endpoint = spec.left(equals).toStdString();
        if (std::find(endpoints.cbegin(), endpoints.cend(), endpoint) == endpoints.cend()) {
            QStringList known;
            for (const std::string& each : endpoints) {
                known.append(QString::fromStdString(each));
            }
            return refuse(u"--fail \"%1\": no endpoint %2; the endpoints are %3"_s.arg(
                spec, spec.left(equals), known.join(u", "_s)));
        }
        const QStringList parts = spec.mid(equals + 1).split(u':');
        bool ok = false;
        const int status = parts.value(0).toInt(&ok);
        if (!ok || status < 100 || status > 999) {
            return refuse(
                u"--fail \"%1\": the status is a number from 100 to 999, not \"%2\""_s.arg(
                    spec, parts.value(0)));
        }
        StandInBackend::Failure failure{status, std::nullopt, std::nullopt};
        if (parts.size() > 1 && !parts[1].isEmpty()) {
            failure.error = parts[1].toStdString();
        }
        if (parts.size() > 2) {
            failure.errorDescription = parts.mid(2).join(u':').toStdString();
        }
        backend.setFailure(endpoint, failure);
    }

    const int bound = backend.bind(parser.value(host).toStdString(), wanted);
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
