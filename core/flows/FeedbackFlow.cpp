#include "core/flows/FeedbackFlow.h"

#include "core/backend/FeedbackService.h"
#include "core/flows/Attempt.h"

#include <QPointer>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

QString sentMessage() {
    return u"Sent. Confirmation was emailed to you."_s;
}

} // namespace

FeedbackFlow::FeedbackFlow(FeedbackService& feedbackService, QObject* parent)
    : QObject(parent)
    , m_feedbackService(feedbackService) {}

FeedbackFlow::~FeedbackFlow() = default;

QCoro::Task<> FeedbackFlow::send(QString title, QString message,
                                 std::optional<FeedbackSenderIdentity> identity,
                                 QList<FeedbackImageAttachment> attachments,
                                 TelemetrySink telemetry) {
    if (m_sending) {
        co_return;
    }
    // The container may go while the request is out; nothing is told then.
    const QPointer<FeedbackFlow> alive(this);
    setSending(true);
    Q_EMIT statusMessageChanged(QString());
    const Attempt<void> delivered = co_await attempt(m_feedbackService.send(
        std::move(title), std::move(message), std::move(identity), std::move(attachments)));
    if (!alive) {
        co_return;
    }
    Q_EMIT statusMessageChanged(delivered.failure.value_or(sentMessage()));
    setSending(false);
    if (delivered.failure) {
        co_return;
    }
    report(telemetry, AppTelemetryEvent::feedbackSent);
    Q_EMIT sent();
}

void FeedbackFlow::setSending(bool sending) {
    m_sending = sending;
    Q_EMIT sendingChanged(sending);
}

} // namespace quillon
