#pragma once

#include <QVariantMap>

namespace signalpost {

// The host application's bundle as the analytics client sees it: the information dictionary
// of its Info.plist (version, build, extension point). The client cannot read property lists
// itself, so the host hands the dictionary over at start-up; until then it is empty.
class MainBundle {
public:
    MainBundle() = delete;

    static void setInfoDictionary(const QVariantMap& info);
    static QVariantMap infoDictionary();
};

} // namespace signalpost
