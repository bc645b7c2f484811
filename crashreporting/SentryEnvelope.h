#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <optional>

// Sentry envelopes: a header line, then one item header line and its payload per item.
namespace quillon::envelope {

// One event item: {"event_id","dsn","sent_at"}, {"type":"event","length"}, the event.
QByteArray eventEnvelope(const QString& eventID, const QString& dsn, const QJsonObject& event,
                         const QDateTime& sentAt);

// The envelope with "sent_at" in its header set to `sentAt`; none when the first line is not a
// JSON object.
std::optional<QByteArray> withSentAt(const QByteArray& envelope, const QDateTime& sentAt);

// RFC 3339 in UTC with milliseconds, as Sentry writes it.
QString timestampText(const QDateTime& moment);

// `text` as a JSON string literal, quotes included, for envelopes rendered ahead of time.
QByteArray jsonString(const QString& text);

// 32 lowercase hexadecimal digits.
QString newEventID();

} // namespace quillon::envelope
