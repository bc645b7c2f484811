#pragma once

#include "core/model/TelemetrySink.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <optional>

namespace quillon {

class ConnectFlow;
class DraftStore;
class LinkedInPostService;
class LinkedInSessionStore;

// Posting the editor's text to LinkedIn, connecting the account first when needed; the
// outcome goes to the drafts' status line, the events to the sink the caller hands in. The
// container owns it, so a post ends even when the screen that started it is gone.
class PostFlow : public QObject {
    Q_OBJECT
    // Turns false once the status line has the outcome.
    Q_PROPERTY(bool posting READ isPosting NOTIFY postingChanged)

public:
    PostFlow(DraftStore& draftStore, ConnectFlow& connectFlow, LinkedInSessionStore& sessionStore,
             LinkedInPostService& postService, QObject* parent = nullptr);
    ~PostFlow() override;

    bool isPosting() const { return m_posting; }

    // Posts the editor's text as it is now; the events go to `telemetry`. Ignored while a
    // post runs.
    QCoro::Task<> post(TelemetrySink telemetry);

Q_SIGNALS:
    void postingChanged(bool posting);
    // A post went out; `keyringProblem` when the connect it began with could not keep the
    // token (LinkedInSessionStore::keepingProblem()).
    void posted(const std::optional<QString>& keyringProblem);

private:
    // Connects when not connected; what the member must know when the keyring did not keep
    // the new token, none otherwise.
    QCoro::Task<std::optional<QString>> connectIfNeeded(TelemetrySink telemetry);
    QCoro::Task<> publish(const QString& text) const;
    // Ends a post that did not go out: the text back where it was written, the failure said.
    void endFailed(const QString& text, const QString& failure,
                   const std::optional<QString>& replacedBy,
                   const std::optional<QString>& keyringProblem, const TelemetrySink& telemetry);
    void endPosted(const QString& text, const std::optional<QString>& keyringProblem,
                   const TelemetrySink& telemetry);
    void setPosting(bool posting);

    DraftStore& m_draftStore;
    ConnectFlow& m_connectFlow;
    LinkedInSessionStore& m_sessionStore;
    LinkedInPostService& m_postService;
    bool m_posting = false;
};

} // namespace quillon
