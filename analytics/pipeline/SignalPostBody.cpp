#include "analytics/pipeline/SignalPostBody.h"

#include "analytics/pipeline/SignalBodyReader.h"

#include <QLocale>
#include <QTimeZone>
#include <cmath>

using namespace Qt::StringLiterals;

namespace signalpost {
namespace {

// Seconds between 1970-01-01 and 2001-01-01, both UTC.
constexpr qint64 referenceDateEpochMSecs = 978307200000LL;

void appendString(QByteArray& out, const QString& text) {
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    // Runs of bytes that need no escape are appended whole: a body is mostly such runs.
    const char* run = utf8.constData();
    const char* const end = run + utf8.size();
    for (const char* p = run; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != '"' && c != '\\') {
            continue;
        }
        out.append(run, p - run);
        run = p + 1;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default: {
            static const char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[(c >> 4) & 0xF];
            out += hex[c & 0xF];
        }
        }
    }
    out.append(run, end - run);
    out += '"';
}

void appendNumber(QByteArray& out, double value) {
    out += QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

QString SignalPostBody::wireDate(const QDateTime& date) {
    static const QLocale enUS(QLocale::English, QLocale::UnitedStates);
    return enUS.toString(date.toUTC(), u"yyyy-MM-dd'T'HH:mm:ss"_s) + u"+0000"_s;
}

double SignalPostBody::secondsSinceReferenceDate(const QDateTime& date) {
    return static_cast<double>(date.toMSecsSinceEpoch() - referenceDateEpochMSecs) / 1000.0;
}

QDateTime SignalPostBody::dateFromReferenceSeconds(double seconds) {
    // Qt::UTC rather than a QTimeZone: this runs for every body of the cache file.
    return QDateTime::fromMSecsSinceEpoch(qRound64(seconds * 1000.0) + referenceDateEpochMSecs,
                                          Qt::UTC);
}

std::optional<QByteArray> SignalPostBody::toJson(DateForm form) const {
    if (floatValue && !std::isfinite(*floatValue)) {
        return std::nullopt;
    }
    QByteArray out;
    out.reserve(256 + payload.size() * 48);
    out += "{\"receivedAt\":";
    if (form == DateForm::wire) {
        appendString(out, wireDate(receivedAt));
    } else {
        appendNumber(out, secondsSinceReferenceDate(receivedAt));
    }
    out += ",\"appID\":";
    appendString(out, appID);
    out += ",\"clientUser\":";
    appendString(out, clientUser);
    out += ",\"sessionID\":";
    appendString(out, sessionID);
    out += ",\"type\":";
    appendString(out, type);
    if (floatValue) {
        out += ",\"floatValue\":";
        appendNumber(out, *floatValue);
    }
    out += ",\"payload\":{";
    bool first = true;
    for (auto it = payload.cbegin(); it != payload.cend(); ++it) {
        if (!first) {
            out += ',';
        }
        first = false;
        appendString(out, it.key());
        out += ':';
        appendString(out, it.value());
    }
    out += "},\"isTestMode\":";
    appendString(out, isTestMode);
    out += '}';
    return out;
}

std::optional<QByteArray> SignalPostBody::encodeArray(const QList<SignalPostBody>& bodies,
                                                      DateForm form) {
    QByteArray out;
    out += '[';
    for (qsizetype i = 0; i < bodies.size(); ++i) {
        const auto json = bodies.at(i).toJson(form);
        if (!json) {
            return std::nullopt;
        }
        if (i > 0) {
            out += ',';
        }
        out += *json;
    }
    out += ']';
    return out;
}

std::optional<QList<SignalPostBody>> SignalPostBody::decodeArray(QByteArrayView data,
                                                                 DateForm form) {
    return SignalBodyReader(data, form).readArray();
}

std::optional<QUrl> SignalPostBody::signalURL(const QUrl& baseURL,
                                              const std::optional<QString>& ingestNamespace) {
    // An invalid base would print as "" and leave a relative "/v2/" that only fails later.
    if (!baseURL.isValid() || baseURL.isRelative()) {
        return std::nullopt;
    }
    QString text = baseURL.toString(QUrl::FullyEncoded);
    if (!text.endsWith(QLatin1Char('/'))) {
        text += QLatin1Char('/');
    }
    if (ingestNamespace && !ingestNamespace->isEmpty()) {
        text += u"v2/namespace/"_s + *ingestNamespace + QLatin1Char('/');
    } else {
        text += u"v2/"_s;
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) {
        return std::nullopt;
    }
    return url;
}

} // namespace signalpost
