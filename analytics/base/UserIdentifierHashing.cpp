#include "analytics/base/UserIdentifierHashing.h"

#include "analytics/base/TelemetryManagerConfiguration.h"

#include <QCryptographicHash>
#include <QStringEncoder>
#include <QTimeZone>

namespace signalpost {

QString sha256HexDigest(const QString& text, const QString& salt) {
    QStringEncoder encoder(QStringEncoder::Utf8);
    const QByteArray bytes = encoder.encode(text + salt);
    if (encoder.hasError()) {
        return QString();
    }
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QMap<QString, QString> applyDefaultPrefix(const QMap<QString, QString>& parameters,
                                          const TelemetryManagerConfiguration& configuration) {
    const QString prefix = configuration.defaultParameterPrefix().value_or(QString());
    if (prefix.isEmpty()) {
        return parameters;
    }
    QMap<QString, QString> prefixed;
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
        const bool ownKey = it.key().startsWith(QLatin1String("Signalpost."), Qt::CaseSensitive);
        prefixed.insert(ownKey ? it.key() : prefix + it.key(), it.value());
    }
    return prefixed;
}

QDateTime distantPast() {
    return QDateTime(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc());
}

} // namespace signalpost
