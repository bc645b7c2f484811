#pragma once

#include <QMap>
#include <QString>

namespace signalpost {

// The default parameters every signal carries (app, device, system, locale, calendar,
// accessibility, retention), computed afresh for each signal on the main thread; a caller's
// parameter of the same key replaces a default.
class DefaultSignalPayload {
public:
    static QMap<QString, QString> parameters();
};

} // namespace signalpost
