#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>
#include <optional>

namespace signalpost {

// One signal as it is queued, kept in the cache file and sent to the ingest service.
struct SignalPostBody {
    QDateTime receivedAt;
    QString appID;
    QString clientUser;
    QString sessionID;
    QString type;
    std::optional<double> floatValue;
    QMap<QString, QString> payload;
    QString isTestMode;

    // A NaN float value equals nothing, not even itself.
    friend bool operator==(const SignalPostBody&, const SignalPostBody&) = default;

    enum class DateForm {
        wire,          // text "yyyy-MM-dd'T'HH:mm:ssZ" in GMT
        referenceDate, // number of seconds since 2001-01-01 00:00:00 UTC
    };

    // Members in declaration order, "floatValue" left out when absent. Fails (no value) for
    // a float value JSON cannot hold (NaN, infinity).
    std::optional<QByteArray> toJson(DateForm form) const;

    // A JSON array of bodies, in list order.
    static std::optional<QByteArray> encodeArray(const QList<SignalPostBody>& bodies,
                                                 DateForm form);
    // Strict: one bad element fails the whole array; members may come in any order.
    static std::optional<QList<SignalPostBody>> decodeArray(QByteArrayView data, DateForm form);

    static QString wireDate(const QDateTime& date);
    static double secondsSinceReferenceDate(const QDateTime& date);
    static QDateTime dateFromReferenceSeconds(double seconds);

    // The ingest address: "v2/" under the base, or "v2/namespace/<namespace>/" when a
    // namespace is set; none when the result does not parse.
    static std::optional<QUrl> signalURL(const QUrl& baseURL,
                                         const std::optional<QString>& ingestNamespace);
};

} // namespace signalpost
