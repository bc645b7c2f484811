#include "analytics/pipeline/EncodedSignal.h"

namespace signalpost {

std::optional<EncodedSignal> EncodedSignal::fromBody(const SignalPostBody& body) {
    std::optional<QByteArray> json = body.toJson(SignalPostBody::DateForm::referenceDate);
    if (!json) {
        return std::nullopt;
    }
    // Every quote inside a text is escaped, so the first comma, quote and "payload" followed by
    // a brace is the member itself; payload values are texts, never objects.
    const qsizetype split = json->indexOf(",\"payload\":{") + 1;
    Q_ASSERT(split > 0);
    return EncodedSignal{json->left(split), json->mid(split)};
}

QByteArray EncodedSignal::jsonArray(QList<EncodedSignal>::const_iterator begin,
                                    QList<EncodedSignal>::const_iterator end) {
    qsizetype size = 2;
    for (auto it = begin; it != end; ++it) {
        size += it->members.size() + it->payload.size() + 1;
    }
    QByteArray out;
    out.reserve(size);
    out += '[';
    for (auto it = begin; it != end; ++it) {
        if (it != begin) {
            out += ',';
        }
        out += it->members;
        out += it->payload;
    }
    out += ']';
    return out;
}

QList<SignalPostBody> EncodedSignal::decode(const QList<EncodedSignal>& queued) {
    if (queued.isEmpty()) {
        return {};
    }
    auto bodies = SignalPostBody::decodeArray(jsonArray(queued.cbegin(), queued.cend()),
                                              SignalPostBody::DateForm::referenceDate);
    Q_ASSERT(bodies && bodies->size() == queued.size());
    return bodies.value_or(QList<SignalPostBody>());
}

} // namespace signalpost
