#pragma once

#include "crashreporting/SentryDsn.h"

#include <QObject>
#include <QString>
#include <qcoro/qcorotask.h>

class QNetworkAccessManager;

namespace quillon {

// Sends the envelopes waiting in a folder to the DSN's envelope endpoint, one at a time. An
// envelope the server accepted, or rejected for good (a 4xx other than 429), is deleted; on a
// 5xx, a 429 or no answer it stays for a later start and the run stops there. Lives on a
// thread with an event loop; call uploadPending() on that thread.
class EnvelopeUploader : public QObject {
    Q_OBJECT

public:
    static constexpr const char* clientName = "quillon-envelope-reporter/1.0";

    EnvelopeUploader(QString folder, SentryDsn dsn, QObject* parent = nullptr);
    ~EnvelopeUploader() override;

    // A call during a run makes the run go over the folder once more when it ends.
    void uploadPending();

Q_SIGNALS:
    // After each run over the folder.
    void finished();

private:
    QCoro::Task<> run();

    const QString m_folder;
    const SentryDsn m_dsn;
    QNetworkAccessManager* m_network = nullptr;
    bool m_running = false;
    bool m_again = false;
};

} // namespace quillon
