#include "analytics/base/FacadeCalls.h"

#include "analytics/client/Signalpost.h"
#include "analytics/payload/SessionManager.h"

#include <QSettings>

namespace signalpost::facade {

void internalSignal(const QString& name, const QMap<QString, QString>& parameters,
                    std::optional<double> floatValue, std::optional<QString> customUserID) {
    Signalpost::internalSignal(name, parameters, floatValue, std::move(customUserID));
}

std::unique_ptr<QSettings> defaultsSuite() {
    return Signalpost::defaultsSuite();
}

void navigationPathChanged(const QString& to) {
    Signalpost::navigationPathChanged(to);
}

void startSessionStatistics() {
    SessionManager::shared().startNewSession();
}

} // namespace signalpost::facade
