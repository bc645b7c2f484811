#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>
#include <variant>

namespace quillon {

class AppBundle;

// What differs between deployments, decoded from the bundle's "AppConfiguration.plist".
// Read once at start-up; never written.
struct AppConfiguration {
    struct API {
        QUrl baseURL;
    };
    struct LinkedIn {
        QString callbackURLScheme;
    };
    struct Storage {
        QString draftsKey;
        QString linkedInTokenKey;
    };
    // When the section is present all five keys are required; these are the values of an
    // absent section.
    struct Observability {
        QString sentryDSN;
        QString sentryEnvironment = QStringLiteral("production");
        double sentryTracesSampleRate = 0.1;
        QString signalpostAppID;
        QString signalpostNamespace;
    };

    API api;
    LinkedIn linkedIn;
    Storage storage;
    Observability observability;

    // Decodes a property list (XML or binary). None when it does not decode; `error` then
    // holds the decoder's description.
    static std::optional<AppConfiguration> decode(const QByteArray& bytes, QString* error);

    // Reads the bundle's resource: the configuration, or for a missing or undecodable resource
    // the line the start-up stops with ("Missing AppConfiguration.plist" or
    // "Invalid AppConfiguration.plist: <description>").
    static std::variant<AppConfiguration, QString> read(const AppBundle& bundle);
    // The configuration read, or the program stopped with the line read() gave.
    static AppConfiguration orStop(std::variant<AppConfiguration, QString> read);
};

// Writes `message` as one line to standard error and exits with a failure status.
[[noreturn]] void fatalStop(const QString& message);

} // namespace quillon
