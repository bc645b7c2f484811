#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

namespace quillon::testing {

// Takes the place of the browser for https addresses while it lives: records what it was
// asked to open.
class RecordingBrowser : public QObject {
    Q_OBJECT

public:
    RecordingBrowser() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open"); }
    ~RecordingBrowser() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }

    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace quillon::testing
