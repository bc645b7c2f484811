#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace quillon {

// A Sentry DSN, "<scheme>://<public key>@<host>[:port]/[<path>/]<project ID>", and the
// addresses and header it gives.
struct SentryDsn {
    QString text;
    QString publicKey;
    QString projectID;
    QUrl envelopeEndpoint; // <scheme>://<host>[:port]/[<path>/]api/<project ID>/envelope/

    // None when `text` is no such DSN; `error` then says what is wrong.
    static std::optional<SentryDsn> parse(const QString& text, QString* error = nullptr);

    // "Sentry sentry_version=7, sentry_key=<key>, sentry_client=<client>"
    QByteArray authHeader(const QString& client) const;
};

} // namespace quillon
