#include "core/flows/PostFlow.h"

#include "core/backend/LinkedInPostService.h"
#include "core/flows/Attempt.h"
#include "core/flows/ConnectFlow.h"
#include "core/storage/DraftStore.h"
#include "core/storage/LinkedInSessionStore.h"

#include <QPointer>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

// One line for both, so that neither replaces the other before it is seen or heard.
QString followedBy(const QString& outcome, const std::optional<QString>& more) {
    if (!more) {
        return outcome;
    }
    const bool ended = outcome.endsWith(u'.') || outcome.endsWith(u'!') || outcome.endsWith(u'?');
    return outcome + (ended ? u" "_s : u". "_s) + *more;
}

} // namespace

PostFlow::PostFlow(DraftStore& draftStore, ConnectFlow& connectFlow,
                   LinkedInSessionStore& sessionStore, LinkedInPostService& postService,
                   QObject* parent)
    : QObject(parent)
    , m_draftStore(draftStore)
    , m_connectFlow(connectFlow)
    , m_sessionStore(sessionStore)
    , m_postService(postService) {}

PostFlow::~PostFlow() = default;

QCoro::Task<> PostFlow::post(TelemetrySink telemetry) {
    if (m_posting) {
        co_return;
    }
    // The container may go while the request is out; its stores are gone with it then.
    const QPointer<PostFlow> alive(this);
    report(telemetry, AppTelemetryEvent::postStarted);
    setPosting(true);
    DraftStore& drafts = m_draftStore;
    // Taken now: connecting first changes the drafts owner, which may reset the editor to the
    // new member's fresh post before the text would be read.
    const QString text = drafts.editorText();
    // A failure ends the post wherever it happens; connecting and publishing end alike.
    std::optional<QString> failure;
    // What connecting left in the editor when the new member's fresh post replaced the text.
    std::optional<QString> replacedBy;
    // A token the keyring did not keep: the post goes ahead, and its outcome says so too.
    std::optional<QString> keyringProblem;
    const Attempt<std::optional<QString>> connected = co_await attempt(connectIfNeeded(telemetry));
    if (!alive) {
        co_return;
    }
    failure = connected.failure;
    if (!failure) {
        keyringProblem = *connected.value;
        if (drafts.editorText() != text) {
            replacedBy = drafts.editorText();
        }
        const Attempt<void> published = co_await attempt(publish(text));
        if (!alive) {
            co_return;
        }
        failure = published.failure;
    }
    if (failure) {
        endFailed(text, *failure, replacedBy, keyringProblem, telemetry);
    } else {
        endPosted(text, keyringProblem, telemetry);
    }
}

void PostFlow::endFailed(const QString& text, const QString& failure,
                         const std::optional<QString>& replacedBy,
                         const std::optional<QString>& keyringProblem,
                         const TelemetrySink& telemetry) {
    // The text that was not posted goes back where the user wrote it.
    if (replacedBy && m_draftStore.editorText() == *replacedBy) {
        m_draftStore.setEditorText(text);
    }
    m_draftStore.setStatusMessage(followedBy(failure, keyringProblem));
    setPosting(false);
    report(telemetry, AppTelemetryEvent::postFailed);
}

void PostFlow::endPosted(const QString& text, const std::optional<QString>& keyringProblem,
                         const TelemetrySink& telemetry) {
    m_draftStore.dropEditingDraft();
    m_draftStore.notePosted(text);
    m_draftStore.setStatusMessage(followedBy(u"Posted to LinkedIn"_s, keyringProblem));
    setPosting(false);
    report(telemetry, AppTelemetryEvent::postSucceeded);
    Q_EMIT posted(keyringProblem);
}

void PostFlow::setPosting(bool posting) {
    m_posting = posting;
    Q_EMIT postingChanged(posting);
}

QCoro::Task<std::optional<QString>> PostFlow::connectIfNeeded(TelemetrySink telemetry) {
    if (m_sessionStore.isConnected()) {
        co_return std::nullopt;
    }
    QCoro::Task<std::optional<QString>> connecting =
        m_connectFlow.connectAndKeep(std::move(telemetry));
    co_return co_await std::move(connecting);
}

QCoro::Task<> PostFlow::publish(const QString& text) const {
    std::optional<QString> accessToken;
    std::optional<QString> memberID;
    if (const auto credentials = m_sessionStore.postingCredentials()) {
        accessToken = credentials->accessToken;
        memberID = credentials->memberID;
    }
    // Untrimmed: the client trims it and refuses an empty post.
    return m_postService.publish(text, std::move(accessToken), std::move(memberID));
}

} // namespace quillon
