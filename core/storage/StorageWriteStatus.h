#pragma once

namespace quillon {

// How a write to the app's own storage ended. Anything but `written` left the stored state as
// it was before the write.
enum class StorageWriteStatus {
    written,
    diskFull,
    readOnly,
    // Another program (or another copy of the app) holds the store.
    locked,
    failed,
};

} // namespace quillon
