#pragma once

#include <QMap>
#include <QString>
#include <memory>
#include <optional>

namespace signalpost {

class TelemetryManagerConfiguration;

// What the manager needs of its signal sender.
class SignalManageable {
public:
    virtual ~SignalManageable() = default;

    // Builds a body from the signal and queues it; returns at once.
    virtual void
    processSignal(const QString& name, const QMap<QString, QString>& parameters,
                  std::optional<double> floatValue, const std::optional<QString>& customUserID,
                  const std::shared_ptr<TelemetryManagerConfiguration>& configuration) = 0;
    // One send attempt now; callable from any thread.
    virtual void sendNextBatch() = 0;
    virtual QString defaultUserIdentifier() const = 0;
};

} // namespace signalpost
