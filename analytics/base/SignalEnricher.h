#pragma once

#include <QMap>
#include <QString>
#include <optional>

namespace signalpost {

// A caller-supplied source of extra payload entries, asked once for every signal body.
class SignalEnricher {
public:
    virtual ~SignalEnricher() = default;

    // `customUserID` is the caller's identifier as given, not hashed.
    virtual QMap<QString, QString> enrich(const QString& signalType,
                                          const std::optional<QString>& customUserID,
                                          std::optional<double> floatValue) const = 0;
};

} // namespace signalpost
