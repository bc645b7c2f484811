#include "crashreporting/SentryDsn.h"

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

std::optional<SentryDsn> fail(QString* error, const char* why) {
    if (error) {
        *error = QString::fromLatin1(why);
    }
    return std::nullopt;
}

} // namespace

std::optional<SentryDsn> SentryDsn::parse(const QString& text, QString* error) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) {
        return fail(error, "the DSN is not an address");
    }
    if (url.scheme() != u"https" && url.scheme() != u"http") {
        return fail(error, "the DSN's scheme is neither https nor http");
    }
    if (url.userName().isEmpty()) {
        return fail(error, "the DSN has no public key");
    }
    if (url.host().isEmpty()) {
        return fail(error, "the DSN has no host");
    }
    QString path = url.path();
    while (path.endsWith(u'/')) {
        path.chop(1);
    }
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString projectID = path.mid(slash + 1);
    if (projectID.isEmpty()) {
        return fail(error, "the DSN has no project ID");
    }
    SentryDsn dsn;
    dsn.text = text;
    dsn.publicKey = url.userName();
    dsn.projectID = projectID;
    QUrl endpoint;
    endpoint.setScheme(url.scheme());
    endpoint.setHost(url.host());
    endpoint.setPort(url.port());
    endpoint.setPath(path.left(slash) + u"/api/"_s + projectID + u"/envelope/"_s);
    dsn.envelopeEndpoint = endpoint;
    return dsn;
}

QByteArray SentryDsn::authHeader(const QString& client) const {
    return QByteArrayLiteral("Sentry sentry_version=7, sentry_key=") + publicKey.toUtf8() +
           QByteArrayLiteral(", sentry_client=") + client.toUtf8();
}

} // namespace quillon
