#pragma once

#include "analytics/pipeline/EncodedSignal.h"

#include <QList>
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

    // Takes a signal on any thread and processes it on the main thread; returns at once.
    virtual void
    enqueueSignal(const QString& name, const QMap<QString, QString>& parameters,
                  std::optional<double> floatValue, const std::optional<QString>& customUserID,
                  const std::shared_ptr<TelemetryManagerConfiguration>& configuration) = 0;
    // On the main thread: builds a body from the signal and queues it; returns at once.
    virtual void
    processSignal(const QString& name, const QMap<QString, QString>& parameters,
                  std::optional<double> floatValue, const std::optional<QString>& customUserID,
                  const std::shared_ptr<TelemetryManagerConfiguration>& configuration) = 0;
    // One send attempt now; callable from any thread.
    virtual void sendNextBatch() = 0;
    virtual QString defaultUserIdentifier() const = 0;

    // For a sender that is replaced, on the main thread: finishes the signals handed to it,
    // takes back its batches in flight and hands its whole queue to `successor`, which also
    // gets every signal handed to this one later.
    virtual void handOn(const std::shared_ptr<SignalManageable>& successor) = 0;
    // Queues bodies handed on by a replaced sender, as its cache keeps them.
    virtual void adopt(const QList<EncodedSignal>& queued) = 0;
};

} // namespace signalpost
