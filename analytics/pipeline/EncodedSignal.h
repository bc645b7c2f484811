#pragma once

#include "analytics/pipeline/SignalPostBody.h"

#include <QByteArray>
#include <QList>
#include <optional>

namespace signalpost {

// A queued body kept as the JSON the cache file holds for it (SignalPostBody::toJson in the
// reference-date form): about its size on the wire, where the decoded body with its payload map
// takes three times as much. Split where "payload" begins, so that bodies of one session, which
// mostly carry the same payload, share those bytes.
struct EncodedSignal {
    // From the opening brace to the comma before "payload".
    QByteArray members;
    // From "payload" to the closing brace, the test mode included.
    QByteArray payload;

    // None for a body JSON cannot hold (a float value that is not finite).
    static std::optional<EncodedSignal> fromBody(const SignalPostBody& body);

    // A JSON array of the signals, in list order: what SignalPostBody::encodeArray writes for
    // their bodies.
    static QByteArray jsonArray(QList<EncodedSignal>::const_iterator begin,
                                QList<EncodedSignal>::const_iterator end);
    // The bodies again; signals made by fromBody or read by SignalBodyReader always decode.
    static QList<SignalPostBody> decode(const QList<EncodedSignal>& queued);
};

} // namespace signalpost

Q_DECLARE_TYPEINFO(signalpost::EncodedSignal, Q_RELOCATABLE_TYPE);
