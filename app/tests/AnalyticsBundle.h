#pragma once

#include "analytics/client/Signalpost.h"
#include "analytics/client/TelemetryManager.h"
#include "app/QuillonDesktopApp.h"
#include "tests/support/IngestStandIn.h"
#include "ui/window/MainWindow.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QTest>
#include <QThreadPool>

namespace quillon::testing {

// The two resource files of a bundle whose configuration turns analytics on under `appID`,
// written into `folder`. The backend address answers nothing: these starts never sign in.
inline void writeAnalyticsBundle(const QString& folder, const QByteArray& appID) {
    QByteArray configuration = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>api</key><dict><key>baseURL</key><string>http://127.0.0.1:9/</string></dict>
<key>linkedIn</key><dict><key>callbackURLScheme</key><string>quillon</string></dict>
<key>storage</key><dict><key>draftsKey</key><string>test.drafts</string><key>linkedInTokenKey</key><string>test.token</string></dict>
<key>observability</key><dict>
<key>sentryDSN</key><string></string><key>sentryEnvironment</key><string>production</string>
<key>sentryTracesSampleRate</key><real>0.1</real>
<key>signalpostAppID</key><string>@appID@</string><key>signalpostNamespace</key><string></string>
</dict></dict></plist>
)";
    configuration.replace("@appID@", appID);
    const QByteArray info = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>CFBundleIdentifier</key><string>dev.tovrel.quillon</string>
<key>CFBundleShortVersionString</key><string>2.5</string>
<key>CFBundleVersion</key><string>41</string>
</dict></plist>
)";
    for (const auto& [name, bytes] :
         {std::pair{"AppConfiguration.plist", configuration}, std::pair{"Info.plist", info}}) {
        QFile file(folder + u'/' + QLatin1String(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(bytes) == bytes.size());
    }
}

// Shows the started app's window and waits until its first signal has reached `ingest`.
inline void deliverFirstSignal(QuillonDesktopApp& app,
                               signalpost::testsupport::IngestStandIn& ingest) {
    // The client reads its ingest address at every send attempt.
    signalpost::TelemetryManager::current()->configuration()->setApiBaseURL(ingest.baseURL());
    MainWindow& window = app.showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    QThreadPool::globalInstance()->waitForDone();
    signalpost::Signalpost::requestImmediateSync();
    QTRY_COMPARE(ingest.allBodies().size(), 1);
}

} // namespace quillon::testing
