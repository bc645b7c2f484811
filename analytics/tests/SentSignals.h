#pragma once

#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/client/Signalpost.h"
#include "analytics/payload/DefaultSignalPayload.h"
#include "analytics/pipeline/SignalCache.h"
#include "analytics/tests/LogRecorder.h"
#include "tests/support/IngestStandIn.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QStandardPaths>
#include <QThreadPool>
#include <memory>

// Helpers for tests that send signals through the facade to an ingest stand-in and read what
// arrived.
namespace sentsignals {

// A client that sends within 50 ms, logs into `log` and starts no sessions.
inline std::shared_ptr<signalpost::TelemetryManagerConfiguration>
configuration(const signalpost::testsupport::IngestStandIn& ingest, const LogRecorder& log,
              const QString& appID = QStringLiteral("app-presets-test")) {
    auto c = std::make_shared<signalpost::TelemetryManagerConfiguration>(
        appID, QStringLiteral("salt"), ingest.baseURL());
    c->setTransmitInterval(0.05);
    c->setLogHandler(log.handler());
    c->setDefaultUser(QStringLiteral("tester"));
    c->setSendNewSessionBeganSignal(false);
    c->setSessionStatsEnabled(false);
    return c;
}

// The payload less the default parameters every signal carries.
inline QJsonObject payloadOf(const QJsonObject& body) {
    QJsonObject payload = body.value("payload").toObject();
    for (const QString& key : signalpost::DefaultSignalPayload::parameters().keys()) {
        payload.remove(key);
    }
    return payload;
}

inline QList<QJsonObject> bodiesOfType(const QJsonArray& bodies, const QString& type) {
    QList<QJsonObject> found;
    for (const QJsonValue& value : bodies) {
        if (value.toObject().value("type").toString() == type) {
            found.append(value.toObject());
        }
    }
    return found;
}

inline QStringList typesOf(const QJsonArray& bodies) {
    QStringList types;
    for (const QJsonValue& value : bodies) {
        types.append(value.toObject().value("type").toString());
    }
    types.sort();
    return types;
}

// Runs the main-thread hop and the body builders of the signals sent so far.
inline void letSignalsReachTheCache() {
    QCoreApplication::processEvents();
    QThreadPool::globalInstance()->waitForDone();
}

// The cache file and every analytics suite, so that each case starts from nothing.
inline void removeClientFiles() {
    QFile::remove(signalpost::SignalCache::defaultCacheFilePath());
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    for (const QString& name : QDir(folder).entryList({"com.signalpost.*"})) {
        QFile::remove(folder + "/" + name);
    }
}

} // namespace sentsignals
