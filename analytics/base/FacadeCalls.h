#pragma once

#include <QMap>
#include <QString>
#include <memory>
#include <optional>

class QSettings;

// The facade's operations that the folders below it call. They may not include the facade,
// which includes them, so they name only these; client/ defines them over `Signalpost`, and
// being declared rather than set at start-up, they hold before initialisation as well.
namespace signalpost::facade {

// As `Signalpost::internalSignal`.
void internalSignal(const QString& name, const QMap<QString, QString>& parameters = {},
                    std::optional<double> floatValue = {},
                    std::optional<QString> customUserID = {});
// As `Signalpost::defaultsSuite`: none before initialisation.
std::unique_ptr<QSettings> defaultsSuite();
// As `Signalpost::navigationPathChanged`, from the path reported last.
void navigationPathChanged(const QString& to);
// Starts a session in the shared session statistics.
void startSessionStatistics();

} // namespace signalpost::facade
