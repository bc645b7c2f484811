#include "analytics/pipeline/SignalBodyReader.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>

using namespace Qt::StringLiterals;

namespace signalpost {
namespace {

// Deeper nesting only occurs in hostile files; refusing it keeps the recursion bounded.
constexpr int maximumSkipDepth = 64;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

void appendUtf8(QByteArray& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

SignalBodyReader::SignalBodyReader(QByteArrayView data, SignalPostBody::DateForm form)
    : m_pos(data.data())
    , m_end(data.data() + data.size())
    , m_form(form) {}

template <typename Element>
std::optional<QList<Element>>
SignalBodyReader::readElements(bool (SignalBodyReader::*readElement)(Element&)) {
    QList<Element> elements;
    skipWhitespace();
    if (!consume('[')) {
        return std::nullopt;
    }
    skipWhitespace();
    if (!consume(']')) {
        do {
            skipWhitespace();
            Element element;
            if (!(this->*readElement)(element)) {
                return std::nullopt;
            }
            elements.append(std::move(element));
            skipWhitespace();
        } while (consume(','));
        if (!consume(']')) {
            return std::nullopt;
        }
    }
    skipWhitespace();
    if (!atEnd()) {
        return std::nullopt;
    }
    return elements;
}

std::optional<QList<SignalPostBody>> SignalBodyReader::readArray() {
    return readElements(&SignalBodyReader::readBody);
}

std::optional<QList<EncodedSignal>> SignalBodyReader::readEncodedArray() {
    return readElements(&SignalBodyReader::readEncodedBody);
}

bool SignalBodyReader::readEncodedBody(EncodedSignal& encoded) {
    const char* const start = m_pos;
    if (m_form == SignalPostBody::DateForm::referenceDate && readCanonicalBody(encoded)) {
        return true;
    }
    m_pos = start;
    SignalPostBody body;
    if (!readBody(body)) {
        return false;
    }
    std::optional<EncodedSignal> written = EncodedSignal::fromBody(body);
    if (!written) {
        return false;
    }
    written->payload = sharedPayload(written->payload);
    encoded = std::move(*written);
    return true;
}

bool SignalBodyReader::readCanonicalBody(EncodedSignal& encoded) {
    // Exactly what SignalPostBody::toJson writes: members in order without white space, texts
    // without escapes, numbers in their shortest form, payload keys in increasing order.
    // Anything else is not a failure, only left to the full read.
    const char* const start = m_pos;
    QByteArrayView text;
    bool ascii = false;
    double number = 0;
    if (!skipLiteral("{\"receivedAt\":") || !readCanonicalNumber(number)) {
        return false;
    }
    // The date keeps milliseconds: a finer number is written back rounded.
    constexpr double largestSeconds = 9.2e15;
    if (std::fabs(number) > largestSeconds ||
        SignalPostBody::secondsSinceReferenceDate(
            SignalPostBody::dateFromReferenceSeconds(number)) != number) {
        return false;
    }
    for (const char* member :
         {",\"appID\":", ",\"clientUser\":", ",\"sessionID\":", ",\"type\":"}) {
        if (!skipLiteral(member) || !readCanonicalString(text, ascii)) {
            return false;
        }
    }
    if (skipLiteral(",\"floatValue\":") && !readCanonicalNumber(number)) {
        return false;
    }
    const char* const payload = m_pos + 1;
    if (!skipLiteral(",\"payload\":{")) {
        return false;
    }
    if (!consume('}')) {
        QByteArrayView previous;
        bool first = true;
        do {
            QByteArrayView key;
            bool asciiKey = false;
            if (!readCanonicalString(key, asciiKey) || !consume(':') ||
                !readCanonicalString(text, ascii)) {
                return false;
            }
            // A payload is a map ordered by UTF-16 code units; for ASCII keys that is the
            // order of their bytes.
            if (!asciiKey || (!first && previous.compare(key) >= 0)) {
                return false;
            }
            previous = key;
            first = false;
        } while (consume(','));
        if (!consume('}')) {
            return false;
        }
    }
    if (!skipLiteral(",\"isTestMode\":") || !readCanonicalString(text, ascii) || !consume('}')) {
        return false;
    }
    encoded.members = QByteArray(start, payload - start);
    encoded.payload = sharedPayload(QByteArrayView(payload, m_pos - payload));
    return true;
}

bool SignalBodyReader::readCanonicalString(QByteArrayView& raw, bool& ascii) {
    if (!consume('"')) {
        return false;
    }
    const auto* quote = static_cast<const char*>(std::memchr(m_pos, '"', size_t(m_end - m_pos)));
    if (!quote) {
        return false;
    }
    // An escape (an escaped quote included) or a control character is not canonical, and
    // bytes beyond ASCII must be UTF-8 that a text writes back as it is. Eight bytes at a time,
    // with the word tests for a byte below a bound and for a zero byte.
    constexpr quint64 ones = 0x0101010101010101ULL;
    constexpr quint64 highBits = ones * 0x80;
    quint64 special = 0;
    quint64 high = 0;
    const char* p = m_pos;
    for (; quote - p >= 8; p += 8) {
        quint64 word = 0;
        std::memcpy(&word, p, sizeof word);
        const quint64 backslashes = word ^ (ones * '\\');
        special |= ((word - ones * 0x20) & ~word) | ((backslashes - ones) & ~backslashes);
        high |= word;
    }
    bool plain = (special & highBits) == 0;
    for (; p < quote; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        plain &= c >= 0x20 && c != '\\';
        high |= c;
    }
    const bool isAscii = (high & highBits) == 0;
    raw = QByteArrayView(m_pos, quote);
    m_pos = quote + 1;
    ascii = isAscii;
    return plain && (ascii || QString::fromUtf8(raw).toUtf8() == raw);
}

bool SignalBodyReader::readCanonicalNumber(double& value) {
    const char* const start = m_pos;
    return readNumber(value) && QByteArrayView(start, m_pos - start) ==
                                    QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

QByteArray SignalBodyReader::sharedPayload(QByteArrayView payload) {
    // Bodies of one session follow each other with the same payload: those share one copy.
    if (QByteArrayView(m_previousPayload) != payload) {
        m_previousPayload = payload.toByteArray();
    }
    return m_previousPayload;
}

bool SignalBodyReader::readBody(SignalPostBody& body) {
    if (!consume('{')) {
        return false;
    }
    bool seen[8] = {};
    skipWhitespace();
    if (!consume('}')) {
        do {
            skipWhitespace();
            QByteArrayView key;
            bool escaped = false;
            if (!readRawString(key, escaped)) {
                return false;
            }
            skipWhitespace();
            if (!consume(':')) {
                return false;
            }
            skipWhitespace();

            // An escaped key is already unescaped in `key`; compare it all the same.
            Member member = Member::other;
            {
                if (key == "receivedAt") {
                    member = Member::receivedAt;
                } else if (key == "appID") {
                    member = Member::appID;
                } else if (key == "clientUser") {
                    member = Member::clientUser;
                } else if (key == "sessionID") {
                    member = Member::sessionID;
                } else if (key == "type") {
                    member = Member::type;
                } else if (key == "floatValue") {
                    member = Member::floatValue;
                } else if (key == "payload") {
                    member = Member::payload;
                } else if (key == "isTestMode") {
                    member = Member::isTestMode;
                }
            }

            bool ok = true;
            switch (member) {
            case Member::receivedAt:
                if (m_form == SignalPostBody::DateForm::referenceDate) {
                    double seconds = 0;
                    // Beyond this the milliseconds no longer fit 64 bits; such a date is
                    // refused rather than cast out of range.
                    constexpr double largestSeconds = 9.2e15;
                    ok = readNumber(seconds) && std::fabs(seconds) <= largestSeconds;
                    if (ok) {
                        body.receivedAt = SignalPostBody::dateFromReferenceSeconds(seconds);
                    }
                } else {
                    QString text;
                    ok = readString(text) && text.endsWith(QLatin1String("+0000"));
                    if (ok) {
                        body.receivedAt =
                            QDateTime::fromString(text.chopped(5), u"yyyy-MM-dd'T'HH:mm:ss"_s);
                        body.receivedAt.setTimeZone(QTimeZone::utc());
                        ok = body.receivedAt.isValid();
                    }
                }
                break;
            case Member::appID:
                ok = readString(body.appID);
                break;
            case Member::clientUser:
                ok = readString(body.clientUser);
                break;
            case Member::sessionID:
                ok = readString(body.sessionID);
                break;
            case Member::type:
                ok = readString(body.type);
                break;
            case Member::floatValue:
                if (!atEnd() && *m_pos == 'n') {
                    ok = skipLiteral("null");
                    body.floatValue.reset();
                } else {
                    double value = 0;
                    ok = readNumber(value);
                    body.floatValue = value;
                }
                break;
            case Member::payload:
                body.payload.clear();
                ok = readPayload(body.payload);
                break;
            case Member::isTestMode:
                ok = readString(body.isTestMode);
                break;
            case Member::other:
                ok = skipValue(0);
                break;
            }
            if (!ok) {
                return false;
            }
            if (member != Member::other) {
                seen[static_cast<int>(member)] = true;
            }
            skipWhitespace();
        } while (consume(','));
        if (!consume('}')) {
            return false;
        }
    }
    const Member required[] = {Member::receivedAt, Member::appID, Member::clientUser,
                               Member::sessionID,  Member::type,  Member::payload,
                               Member::isTestMode};
    for (const Member member : required) {
        if (!seen[static_cast<int>(member)]) {
            return false;
        }
    }
    return true;
}

bool SignalBodyReader::readPayload(QMap<QString, QString>& payload) {
    if (atEnd() || *m_pos != '{') {
        return false;
    }
    // Bodies of one session and hour mostly carry the same payload text: equal texts share one
    // map, which saves the parse and most of the memory.
    const QByteArrayView text = payloadText();
    if (!text.isEmpty()) {
        const auto shared = m_sharedPayloads.constFind(text);
        if (shared != m_sharedPayloads.constEnd()) {
            payload = shared.value();
            m_pos = text.data() + text.size();
            return true;
        }
    }
    ++m_pos;
    skipWhitespace();
    if (consume('}')) {
        return true;
    }
    // QMap's hinted insert walks from the start each time; std::map's is constant time when
    // the hint is right, and payloads are written in key order.
    std::map<QString, QString> entries;
    do {
        skipWhitespace();
        QString key;
        QString value;
        if (!readString(key)) {
            return false;
        }
        skipWhitespace();
        if (!consume(':')) {
            return false;
        }
        skipWhitespace();
        if (!readString(value)) {
            return false;
        }
        entries.insert_or_assign(entries.end(), std::move(key), std::move(value));
        skipWhitespace();
    } while (consume(','));
    if (!consume('}')) {
        return false;
    }
    payload = QMap<QString, QString>(std::move(entries));
    if (!text.isEmpty()) {
        m_sharedPayloads.insert(text, payload);
    }
    return true;
}

QByteArrayView SignalBodyReader::payloadText() const {
    // From '{' to its '}', over texts only; anything nested is left to the full parse.
    const char* p = m_pos + 1;
    while (p < m_end) {
        const char c = *p++;
        if (c == '}') {
            return QByteArrayView(m_pos, p - m_pos);
        }
        if (c == '{' || c == '[') {
            return {};
        }
        if (c == '"') {
            while (p < m_end && *p != '"') {
                p += (*p == '\\' && p + 1 < m_end) ? 2 : 1;
            }
            if (p == m_end) {
                return {};
            }
            ++p;
        }
    }
    return {};
}

bool SignalBodyReader::readString(QString& text) {
    QByteArrayView raw;
    bool escaped = false;
    if (!readRawString(raw, escaped)) {
        return false;
    }
    if (escaped) {
        text = QString::fromUtf8(m_unescaped);
        return true;
    }
    auto it = m_shared.constFind(raw);
    if (it == m_shared.constEnd()) {
        it = m_shared.insert(raw, QString::fromUtf8(raw));
    }
    text = it.value();
    return true;
}

bool SignalBodyReader::readRawString(QByteArrayView& raw, bool& escaped) {
    if (!consume('"')) {
        return false;
    }
    const char* start = m_pos;
    while (m_pos < m_end && *m_pos != '"' && *m_pos != '\\' &&
           static_cast<unsigned char>(*m_pos) >= 0x20) {
        ++m_pos;
    }
    if (atEnd() || static_cast<unsigned char>(*m_pos) < 0x20) {
        return false;
    }
    if (*m_pos == '"') {
        raw = QByteArrayView(start, m_pos - start);
        escaped = false;
        ++m_pos;
        return true;
    }

    escaped = true;
    m_unescaped = QByteArray(start, m_pos - start);
    while (true) {
        if (atEnd()) {
            return false;
        }
        const char c = *m_pos++;
        if (c == '"') {
            raw = QByteArrayView(m_unescaped);
            return true;
        }
        if (static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
        if (c != '\\') {
            m_unescaped += c;
            continue;
        }
        if (atEnd()) {
            return false;
        }
        const char e = *m_pos++;
        switch (e) {
        case '"':
        case '\\':
        case '/':
            m_unescaped += e;
            break;
        case 'b':
            m_unescaped += '\b';
            break;
        case 'f':
            m_unescaped += '\f';
            break;
        case 'n':
            m_unescaped += '\n';
            break;
        case 'r':
            m_unescaped += '\r';
            break;
        case 't':
            m_unescaped += '\t';
            break;
        case 'u': {
            auto readHex4 = [this](char32_t& unit) {
                if (m_end - m_pos < 4) {
                    return false;
                }
                unit = 0;
                for (int i = 0; i < 4; ++i) {
                    const int digit = hexValue(m_pos[i]);
                    if (digit < 0) {
                        return false;
                    }
                    unit = unit * 16 + static_cast<char32_t>(digit);
                }
                m_pos += 4;
                return true;
            };
            char32_t unit = 0;
            if (!readHex4(unit)) {
                return false;
            }
            if (unit >= 0xD800 && unit <= 0xDBFF && m_end - m_pos >= 6 && m_pos[0] == '\\' &&
                m_pos[1] == 'u') {
                const char* save = m_pos;
                m_pos += 2;
                char32_t low = 0;
                if (readHex4(low) && low >= 0xDC00 && low <= 0xDFFF) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                } else {
                    m_pos = save;
                }
            }
            // A surrogate left unpaired has no UTF-8 form.
            appendUtf8(m_unescaped, (unit >= 0xD800 && unit <= 0xDFFF) ? U'\uFFFD' : unit);
            break;
        }
        default:
            return false;
        }
    }
}

bool SignalBodyReader::readNumber(double& value) {
    // JSON's grammar is narrower than from_chars': no leading '+', no bare '.', no hex, no inf.
    const char* start = m_pos;
    const char* p = m_pos;
    if (p < m_end && *p == '-') {
        ++p;
    }
    if (p >= m_end) {
        return false;
    }
    if (*p == '0') {
        ++p;
    } else if (isDigit(*p)) {
        while (p < m_end && isDigit(*p)) {
            ++p;
        }
    } else {
        return false;
    }
    if (p < m_end && *p == '.') {
        ++p;
        if (p >= m_end || !isDigit(*p)) {
            return false;
        }
        while (p < m_end && isDigit(*p)) {
            ++p;
        }
    }
    if (p < m_end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < m_end && (*p == '+' || *p == '-')) {
            ++p;
        }
        if (p >= m_end || !isDigit(*p)) {
            return false;
        }
        while (p < m_end && isDigit(*p)) {
            ++p;
        }
    }
    const auto result = std::from_chars(start, p, value);
    if (result.ec != std::errc() || result.ptr != p || !std::isfinite(value)) {
        return false;
    }
    m_pos = p;
    return true;
}

bool SignalBodyReader::skipValue(int depth) {
    if (depth > maximumSkipDepth || atEnd()) {
        return false;
    }
    switch (*m_pos) {
    case '"': {
        QByteArrayView raw;
        bool escaped = false;
        return readRawString(raw, escaped);
    }
    case '{':
    case '[': {
        const char close = *m_pos == '{' ? '}' : ']';
        const bool object = close == '}';
        ++m_pos;
        skipWhitespace();
        if (consume(close)) {
            return true;
        }
        do {
            skipWhitespace();
            if (object) {
                QByteArrayView raw;
                bool escaped = false;
                if (!readRawString(raw, escaped)) {
                    return false;
                }
                skipWhitespace();
                if (!consume(':')) {
                    return false;
                }
                skipWhitespace();
            }
            if (!skipValue(depth + 1)) {
                return false;
            }
            skipWhitespace();
        } while (consume(','));
        return consume(close);
    }
    case 't':
        return skipLiteral("true");
    case 'f':
        return skipLiteral("false");
    case 'n':
        return skipLiteral("null");
    default: {
        double ignored = 0;
        return readNumber(ignored);
    }
    }
}

bool SignalBodyReader::skipLiteral(const char* literal) {
    const auto length = static_cast<qsizetype>(std::strlen(literal));
    if (m_end - m_pos < length || std::memcmp(m_pos, literal, static_cast<size_t>(length)) != 0) {
        return false;
    }
    m_pos += length;
    return true;
}

bool SignalBodyReader::consume(char c) {
    if (m_pos < m_end && *m_pos == c) {
        ++m_pos;
        return true;
    }
    return false;
}

void SignalBodyReader::skipWhitespace() {
    while (m_pos < m_end && (*m_pos == ' ' || *m_pos == '\n' || *m_pos == '\r' || *m_pos == '\t')) {
        ++m_pos;
    }
}

} // namespace signalpost
