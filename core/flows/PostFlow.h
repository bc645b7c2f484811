#pragma once

#include "core/flows/ConnectFlow.h"
#include "core/model/TelemetrySink.h"

#include <QCoroTask>
#include <QString>
#include <functional>
#include <optional>

namespace quillon {

class DraftStore;
class LinkedInPostService;

// Posting the editor's text to LinkedIn, connecting the account first when needed; the
// outcome goes to the drafts' status line, the events to the sink the caller hands in. Cheap to
// copy; each run keeps its own copy, so it ends even when the screen that started it is gone.
class PostFlow {
public:
    // Told true when a run starts and false when it ends, once the status line has the outcome.
    using Busy = std::function<void(bool)>;
    // Told of a post that went out; `keyringProblem` when the connect it began with could not
    // keep the token (LinkedInSessionStore::keepingProblem()).
    using Posted = std::function<void(const std::optional<QString>& keyringProblem)>;

    PostFlow(DraftStore& draftStore, ConnectFlow connectFlow, LinkedInSessionStore& sessionStore,
             LinkedInPostService& postService);

    // Posts the editor's text as it is now; the events go to `telemetry`.
    QCoro::Task<> post(Busy posting, Posted onPosted, TelemetrySink telemetry) const;

private:
    static QCoro::Task<> run(PostFlow flow, Busy posting, Posted onPosted, TelemetrySink telemetry);
    // Connects when not connected; what the member must know when the keyring did not keep
    // the new token, none otherwise.
    QCoro::Task<std::optional<QString>> connectIfNeeded(TelemetrySink telemetry) const;
    QCoro::Task<> publish(const QString& text) const;

    DraftStore& m_draftStore;
    ConnectFlow m_connectFlow;
    LinkedInSessionStore& m_sessionStore;
    LinkedInPostService& m_postService;
};

} // namespace quillon
