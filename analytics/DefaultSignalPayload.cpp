#include "DefaultSignalPayload.h"

namespace signalpost {

QMap<QString, QString> DefaultSignalPayload::parameters() {
    // No default parameter is gathered yet; this is the one place that will gather them.
    return {};
}

} // namespace signalpost
