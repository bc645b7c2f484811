#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>

class QSettings;

namespace signalpost {

class TelemetryManagerConfiguration;

// The one door into the analytics client. The application initialises it once and sends its
// events through `signal`; the client's own trackers use `internalSignal`. Every operation
// may be called from any thread and returns at once; failures are only logged.
class Signalpost {
public:
    Signalpost() = delete;

    // The client keeps a shared copy of `configuration`; later changes go through the
    // operations below or through the shared form.
    static void initialize(const TelemetryManagerConfiguration& configuration);
    static void initialize(std::shared_ptr<TelemetryManagerConfiguration> configuration);
    static void terminate();

    // Adds the signal and parameter prefixes and warns about reserved names and keys.
    static void signal(const QString& name, const QMap<QString, QString>& parameters = {},
                       std::optional<double> floatValue = {},
                       std::optional<QString> customUserID = {});
    // No signal prefix and no name check; merges the configured default parameters under the
    // given ones.
    static void internalSignal(const QString& name, const QMap<QString, QString>& parameters = {},
                               std::optional<double> floatValue = {},
                               std::optional<QString> customUserID = {});

    // An early send attempt 50 ms from now, at most once per transmit interval.
    static void requestImmediateSync();
    static void updateDefaultUser(const std::optional<QString>& user);
    static void generateNewSession();

    // The client's defaults suite, "com.signalpost." and the last 12 hexadecimal digits of
    // the app ID's SHA-256, as an INI file in the XDG config folder; none before initialisation.
    static std::unique_ptr<QSettings> defaultsSuite();
    static QString defaultsSuiteName(const QString& appID);

    // Lowercased names the client itself fills in.
    static const QSet<QString>& reservedSignalNames();
};

} // namespace signalpost
