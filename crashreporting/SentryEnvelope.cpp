#include "crashreporting/SentryEnvelope.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace quillon::envelope {

QByteArray eventEnvelope(const QString& eventID, const QString& dsn, const QJsonObject& event,
                         const QDateTime& sentAt) {
    const QJsonObject header{
        {u"event_id"_s, eventID}, {u"dsn"_s, dsn}, {u"sent_at"_s, timestampText(sentAt)}};
    const QByteArray payload = QJsonDocument(event).toJson(QJsonDocument::Compact);
    const QJsonObject item{{u"type"_s, u"event"_s}, {u"length"_s, payload.size()}};
    return QJsonDocument(header).toJson(QJsonDocument::Compact) + '\n' +
           QJsonDocument(item).toJson(QJsonDocument::Compact) + '\n' + payload + '\n';
}

std::optional<QByteArray> withSentAt(const QByteArray& envelope, const QDateTime& sentAt) {
    const qsizetype end = envelope.indexOf('\n');
    const QByteArray line = end < 0 ? envelope : envelope.left(end);
    QJsonParseError error;
    const QJsonDocument header = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !header.isObject()) {
        return std::nullopt;
    }
    QJsonObject object = header.object();
    object.insert(u"sent_at"_s, timestampText(sentAt));
    return QJsonDocument(object).toJson(QJsonDocument::Compact) +
           (end < 0 ? QByteArray() : envelope.mid(end));
}

QString timestampText(const QDateTime& moment) {
    return moment.toUTC().toString(Qt::ISODateWithMs);
}

QByteArray jsonString(const QString& text) {
    // Qt escapes a value only inside an array; the brackets are stripped.
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QString newEventID() {
    return QUuid::createUuid().toString(QUuid::Id128);
}

} // namespace quillon::envelope
