#pragma once

#include <libsecret/secret.h>

namespace quillon {

// The schema every item of the app's keychain carries: a generic password found by its service,
// its account and whether it is synchronizable.
const SecretSchema* secretServiceItemSchema();

} // namespace quillon
