#pragma once

#include "core/model/LinkedInToken.h"

#include <optional>

namespace quillon {

// What became of a delete of the stored token.
enum class TokenDeletion {
    // No such token is stored any more.
    done,
    // Not carried out yet (the keyring is locked, stalled or absent) but remembered: it is done
    // before the token is next read or written, at the latest at the next start, and never
    // removes a token stored after it.
    recorded,
    // Not carried out and not remembered: the keyring is locked and the record could not be
    // written. The token is still stored.
    keyringLocked,
    // As keyringLocked, the keyring not answering or absent.
    keyringUnavailable,
};

// What became of a save of the token.
enum class TokenSave {
    // The keyring holds it: the next start finds it.
    kept,
    // The keyring is locked and its unlock prompt was dismissed or could not be shown.
    keyringLocked,
    // The keyring did not answer in time, is absent or refused the write. An answer still to
    // come may store it later; until the keyring says so it is not taken for kept.
    keyringUnavailable,
};

// The token is gone, or will be without anything more to do.
constexpr bool isSettled(TokenDeletion deletion) {
    return deletion == TokenDeletion::done || deletion == TokenDeletion::recorded;
}

// Where the LinkedIn token is kept between launches. A read reports no failure: an unreadable
// token reads as none. A save and a delete say what became of them, so that a token the keyring
// refused is never taken for kept, nor one still stored for gone.
class LinkedInTokenStore {
public:
    virtual ~LinkedInTokenStore() = default;
    virtual std::optional<LinkedInToken> load() = 0;
    virtual TokenSave save(const LinkedInToken& token) = 0;
    // `delete()` elsewhere; the word is taken in C++.
    virtual TokenDeletion deleteToken() = 0;
    // Also deletes a copy marked as synchronizable.
    virtual TokenDeletion deleteAll() = 0;
};

} // namespace quillon
