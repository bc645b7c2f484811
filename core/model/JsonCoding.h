#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QString>
#include <optional>

// Strict JSON decoding shared by the records: required and optional keys with checked types,
// and ISO 8601 internet date-time text without fractional seconds. The first problem met is
// kept as a readable description; a decoder with an error yields only default values.
namespace quillon::json {

// "2026-12-10T09:41:03Z": UTC, whole seconds.
QString formatDate(const QDateTime& date);
// Internet date-time with "Z" or a "+hh:mm" offset and no fractional seconds; none otherwise.
std::optional<QDateTime> parseDate(QStringView text);

// Qt's JSON text for `document`, compact. U+FEFF is written as "\ufeff": Qt's reader drops
// the character when it opens a string written out raw.
QByteArray toBytes(const QJsonDocument& document);
// Qt's reader over `bytes`, keeping every U+FEFF inside strings, raw or escaped.
QJsonDocument fromBytes(const QByteArray& bytes, QJsonParseError* error);

// `text` as one JSON string, quoted and escaped by Qt's writer, for bodies written by hand.
QByteArray quoted(const QString& text);

// Sets `key` only when there is a value: a record's optional keys are omitted, never null.
void insertIfPresent(QJsonObject& object, const QString& key, const std::optional<QString>& value);

class Decoder {
public:
    explicit Decoder(QJsonObject object, QString path = {});

    // Parses `bytes` as one JSON object; any other document is an error.
    static Decoder fromBytes(const QByteArray& bytes);

    QString string(const QString& key);
    std::optional<QString> optionalString(const QString& key);
    std::optional<qint64> optionalInt64(const QString& key);
    QDateTime date(const QString& key);
    // A nested object, decoded with a decoder that reports errors into this one.
    Decoder object(const QString& key);
    // A nested object that may be missing or null.
    std::optional<Decoder> optionalObject(const QString& key);

    bool ok() const { return !m_error.has_value(); }
    QString error() const { return m_error.value_or(QString()); }
    // Takes over a nested decoder's error, if any.
    void absorb(const Decoder& nested);
    void fail(const QString& description);

private:
    QString pathOf(const QString& key) const;
    std::optional<QJsonValue> present(const QString& key, bool required);

    QJsonObject m_object;
    QString m_path;
    std::optional<QString> m_error;
};

} // namespace quillon::json
