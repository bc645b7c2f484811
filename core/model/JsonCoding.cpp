#include "core/model/JsonCoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QTimeZone>
#include <limits>

using namespace Qt::StringLiterals;

namespace quillon::json {

QString formatDate(const QDateTime& date) {
    return date.toUTC().toString(u"yyyy-MM-dd'T'HH:mm:ss'Z'"_s);
}

std::optional<QDateTime> parseDate(QStringView text) {
    static const QRegularExpression pattern(
        uR"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})(?:(Z)|([+-])(\d{2}):(\d{2}))$)"_s);
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    auto number = [&m](int group) { return m.capturedView(group).toInt(); };
    const QDate day(number(1), number(2), number(3));
    const QTime time(number(4), number(5), number(6));
    if (!day.isValid() || !time.isValid()) {
        return std::nullopt;
    }
    int offsetSeconds = 0;
    if (!m.capturedView(8).isEmpty()) {
        const int hours = number(9);
        const int minutes = number(10);
        if (hours > 23 || minutes > 59) {
            return std::nullopt;
        }
        offsetSeconds = (hours * 60 + minutes) * 60 * (m.capturedView(8) == u"-" ? -1 : 1);
    }
    return QDateTime(day, time, QTimeZone(offsetSeconds)).toUTC();
}

namespace {
const QByteArray rawByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");
const QByteArray escapedByteOrderMark = QByteArrayLiteral("\\ufeff");
} // namespace

// UTF-8 resynchronises on every lead byte, so these three bytes are always U+FEFF and, in
// valid JSON, always inside a string, where the escape means the same.
QByteArray toBytes(const QJsonDocument& document) {
    return document.toJson(QJsonDocument::Compact).replace(rawByteOrderMark, escapedByteOrderMark);
}

QJsonDocument fromBytes(const QByteArray& bytes, QJsonParseError* error) {
    // One in front of the document marks its encoding and is left to the reader.
    const qsizetype start = bytes.startsWith(rawByteOrderMark) ? rawByteOrderMark.size() : 0;
    if (bytes.indexOf(rawByteOrderMark, start) < 0) {
        return QJsonDocument::fromJson(bytes, error);
    }
    QByteArray escaped = bytes.mid(start);
    escaped.replace(rawByteOrderMark, escapedByteOrderMark);
    return QJsonDocument::fromJson(escaped, error);
}

QByteArray quoted(const QString& text) {
    // Qt escapes a value only inside an array or object; the brackets are stripped.
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

void insertIfPresent(QJsonObject& object, const QString& key, const std::optional<QString>& value) {
    if (value) {
        object.insert(key, *value);
    }
}

Decoder::Decoder(QJsonObject object, QString path)
    : m_object(std::move(object))
    , m_path(std::move(path)) {}

Decoder Decoder::fromBytes(const QByteArray& bytes) {
    QJsonParseError parseError;
    const QJsonDocument document = json::fromBytes(bytes, &parseError);
    Decoder decoder{QJsonObject()};
    if (parseError.error != QJsonParseError::NoError) {
        decoder.fail(u"The data is not valid JSON: %1 at offset %2."_s.arg(parseError.errorString())
                         .arg(parseError.offset));
    } else if (!document.isObject()) {
        decoder.fail(u"Expected a JSON object at the top level."_s);
    } else {
        decoder.m_object = document.object();
    }
    return decoder;
}

QString Decoder::pathOf(const QString& key) const {
    return m_path.isEmpty() ? key : m_path + u'.' + key;
}

void Decoder::fail(const QString& description) {
    if (!m_error) {
        m_error = description;
    }
}

void Decoder::absorb(const Decoder& nested) {
    if (!nested.ok()) {
        fail(nested.error());
    }
}

std::optional<QJsonValue> Decoder::present(const QString& key, bool required) {
    if (!ok()) {
        return std::nullopt;
    }
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd() || it->isNull() || it->isUndefined()) {
        if (required) {
            fail(u"No value for the key \"%1\"."_s.arg(pathOf(key)));
        }
        return std::nullopt;
    }
    return *it;
}

QString Decoder::string(const QString& key) {
    const auto value = present(key, true);
    if (!value) {
        return {};
    }
    if (!value->isString()) {
        fail(u"Expected text for the key \"%1\"."_s.arg(pathOf(key)));
        return {};
    }
    return value->toString();
}

std::optional<QString> Decoder::optionalString(const QString& key) {
    const auto value = present(key, false);
    if (!value) {
        return std::nullopt;
    }
    if (!value->isString()) {
        fail(u"Expected text for the key \"%1\"."_s.arg(pathOf(key)));
        return std::nullopt;
    }
    return value->toString();
}

std::optional<qint64> Decoder::optionalInt64(const QString& key) {
    const auto value = present(key, false);
    if (!value) {
        return std::nullopt;
    }
    constexpr qint64 sentinel = std::numeric_limits<qint64>::min();
    const qint64 integer = value->isDouble() ? value->toInteger(sentinel) : sentinel;
    if (integer == sentinel && !(value->isDouble() && value->toDouble() == double(sentinel))) {
        fail(u"Expected a whole number for the key \"%1\"."_s.arg(pathOf(key)));
        return std::nullopt;
    }
    return integer;
}

QDateTime Decoder::date(const QString& key) {
    const auto value = present(key, true);
    if (!value) {
        return {};
    }
    const auto date = value->isString() ? parseDate(value->toString()) : std::nullopt;
    if (!date) {
        fail(u"Expected an ISO 8601 date for the key \"%1\"."_s.arg(pathOf(key)));
        return {};
    }
    return *date;
}

Decoder Decoder::object(const QString& key) {
    const auto value = present(key, true);
    if (value && !value->isObject()) {
        fail(u"Expected an object for the key \"%1\"."_s.arg(pathOf(key)));
    }
    Decoder nested(value && value->isObject() ? value->toObject() : QJsonObject(), pathOf(key));
    if (!ok()) {
        nested.fail(error());
    }
    return nested;
}

std::optional<Decoder> Decoder::optionalObject(const QString& key) {
    if (!present(key, false)) {
        return std::nullopt;
    }
    return object(key);
}

} // namespace quillon::json
