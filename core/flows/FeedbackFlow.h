#pragma once

#include "core/model/FeedbackImageAttachment.h"
#include "core/model/FeedbackSenderIdentity.h"
#include "core/model/TelemetrySink.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>

namespace quillon {

class FeedbackService;

// Sending the feedback form: the request, and what the form's status line says of it. The
// container owns it, so a send ends and is counted even when the sheet was closed meanwhile.
class FeedbackFlow : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool sending READ isSending NOTIFY sendingChanged)

public:
    explicit FeedbackFlow(FeedbackService& feedbackService, QObject* parent = nullptr);
    ~FeedbackFlow() override;

    // Where the form's images are read.
    FeedbackService& service() const { return m_feedbackService; }
    bool isSending() const { return m_sending; }

    // Sends what the form holds, unchanged: the service trims and validates. The event goes
    // to `telemetry`. Ignored while a send runs.
    QCoro::Task<> send(QString title, QString message,
                       std::optional<FeedbackSenderIdentity> identity,
                       QList<FeedbackImageAttachment> attachments, TelemetrySink telemetry);

Q_SIGNALS:
    void sendingChanged(bool sending);
    // What the form's status line says: nothing once a send starts, then how it ended. Told
    // before `sending` turns false.
    void statusMessageChanged(const QString& message);
    // The feedback arrived; told last, after its event, so the form can empty itself.
    void sent();

private:
    void setSending(bool sending);

    FeedbackService& m_feedbackService;
    bool m_sending = false;
};

} // namespace quillon
