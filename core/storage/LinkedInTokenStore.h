#pragma once

#include "core/model/LinkedInToken.h"

#include <optional>

namespace quillon {

// Where the LinkedIn token is kept between launches. No operation reports failure: an
// unreadable token reads as none, a failed write is dropped.
class LinkedInTokenStore {
public:
    virtual ~LinkedInTokenStore() = default;
    virtual std::optional<LinkedInToken> load() = 0;
    virtual void save(const LinkedInToken& token) = 0;
    // `delete()` elsewhere; the word is taken in C++.
    virtual void deleteToken() = 0;
    // Also deletes a copy marked as synchronizable.
    virtual void deleteAll() = 0;
};

} // namespace quillon
