#pragma once

class QNetworkAccessManager;

namespace quillon {

// The main thread's shared network access, with a disk cache in the user's cache folder:
// what downloads outside the backend (the profile photo) go through.
QNetworkAccessManager& sharedNetworkAccess();

} // namespace quillon
