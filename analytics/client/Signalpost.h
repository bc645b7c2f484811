#pragma once

#include "analytics/presets/ErrorCategory.h"

#include <QMap>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>

class QSettings;

namespace signalpost {

class IdentifiableError;
struct StoreTransaction;
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

    // Timing under `name` in the shared duration tracker; a second start restarts it.
    static void startDurationSignal(const QString& name,
                                    const QMap<QString, QString>& parameters = {},
                                    bool includeBackgroundTime = false);
    static void cancelDurationSignal(const QString& name);
    // Sends the signal with "Signalpost.Signal.durationInSeconds", under which the start's and
    // then these parameters are merged; nothing when nothing was timed under `name`.
    static void stopAndSendDurationSignal(const QString& name,
                                          const QMap<QString, QString>& parameters = {},
                                          std::optional<double> floatValue = {},
                                          std::optional<QString> customUserID = {});

    // Preset signals. Each sends one internal signal of its own name; the caller's parameters
    // are merged over the preset's, the caller winning on the same key.
    static void userAcquired(const QString& channel, const QMap<QString, QString>& parameters = {},
                             std::optional<QString> customUserID = {});
    static void leadStarted(const QString& leadID, const QMap<QString, QString>& parameters = {},
                            std::optional<QString> customUserID = {});
    static void leadConverted(const QString& leadID, const QMap<QString, QString>& parameters = {},
                              std::optional<QString> customUserID = {});
    static void onboardingCompleted(const QMap<QString, QString>& parameters = {},
                                    std::optional<QString> customUserID = {});
    static void coreFeatureUsed(const QString& featureName,
                                const QMap<QString, QString>& parameters = {},
                                std::optional<QString> customUserID = {});
    static void referralSent(int receiversCount, const std::optional<QString>& kind = {},
                             const QMap<QString, QString>& parameters = {},
                             std::optional<QString> customUserID = {});
    // Ratings outside 0 to 10 are not sent; the configured log handler is told so.
    static void userRatingSubmitted(int rating, const std::optional<QString>& comment = {},
                                    const QMap<QString, QString>& parameters = {},
                                    std::optional<QString> customUserID = {});
    static void paywallShown(const QString& reason, const QMap<QString, QString>& parameters = {},
                             std::optional<QString> customUserID = {});
    static void errorOccurred(const QString& id, std::optional<ErrorCategory> category = {},
                              const std::optional<QString>& message = {},
                              const QMap<QString, QString>& parameters = {},
                              std::optional<double> floatValue = {},
                              std::optional<QString> customUserID = {});
    // The message is the error's localized description.
    static void errorOccurred(const IdentifiableError& error, ErrorCategory category,
                              const QMap<QString, QString>& parameters = {},
                              std::optional<double> floatValue = {},
                              std::optional<QString> customUserID = {});
    static void errorOccurred(const IdentifiableError& error, ErrorCategory category,
                              const std::optional<QString>& message,
                              const QMap<QString, QString>& parameters = {},
                              std::optional<double> floatValue = {},
                              std::optional<QString> customUserID = {});

    // "Signalpost.Purchase.completed" with the price in US dollars, or for a free trial
    // "Signalpost.Purchase.freeTrialStarted", after which the trial tracker follows it.
    static void purchaseCompleted(const StoreTransaction& transaction,
                                  const QMap<QString, QString>& parameters = {},
                                  std::optional<QString> customUserID = {});

    // Both remember `to` as the source of the next report; the second starts from there.
    static void navigationPathChanged(const QString& from, const QString& to,
                                      const std::optional<QString>& customUserID = {});
    static void navigationPathChanged(const QString& to,
                                      const std::optional<QString>& customUserID = {});

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
