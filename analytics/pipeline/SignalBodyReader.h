#pragma once

#include "analytics/pipeline/EncodedSignal.h"
#include "analytics/pipeline/SignalPostBody.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <optional>

namespace signalpost {

// Reads a JSON array of signal bodies in one strict pass. The cache file is read at every
// launch and may hold 10,000 bodies whose keys and most values repeat, so equal texts share
// one string and payloads are built in the order they are written.
class SignalBodyReader {
public:
    SignalBodyReader(QByteArrayView data, SignalPostBody::DateForm form);

    // None when the data is not exactly one JSON array of complete, well-typed bodies.
    std::optional<QList<SignalPostBody>> readArray();
    // The same, each body kept as its JSON in the reference-date form (EncodedSignal). A body
    // already written that way, as the cache file's are, is copied as it stands, without
    // building its texts and payload; any other is read and written anew.
    std::optional<QList<EncodedSignal>> readEncodedArray();

private:
    enum class Member {
        receivedAt,
        appID,
        clientUser,
        sessionID,
        type,
        floatValue,
        payload,
        isTestMode,
        other
    };

    // One JSON array filling the whole data, each element read by `readElement`.
    template <typename Element>
    std::optional<QList<Element>> readElements(bool (SignalBodyReader::*readElement)(Element&));
    bool readBody(SignalPostBody& body);
    bool readEncodedBody(EncodedSignal& encoded);
    bool readCanonicalBody(EncodedSignal& encoded);
    bool readCanonicalString(QByteArrayView& raw, bool& ascii);
    bool readCanonicalNumber(double& value);
    QByteArray sharedPayload(QByteArrayView payload);
    bool readPayload(QMap<QString, QString>& payload);
    QByteArrayView payloadText() const;
    bool readString(QString& text);
    bool readRawString(QByteArrayView& raw, bool& escaped);
    bool readNumber(double& value);
    bool skipValue(int depth);
    bool skipLiteral(const char* literal);
    bool consume(char c);
    void skipWhitespace();
    bool atEnd() const { return m_pos >= m_end; }

    const char* m_pos;
    const char* m_end;
    SignalPostBody::DateForm m_form;
    QHash<QByteArrayView, QString> m_shared;
    QHash<QByteArrayView, QMap<QString, QString>> m_sharedPayloads;
    QByteArray m_previousPayload;
    QByteArray m_unescaped;
};

} // namespace signalpost
