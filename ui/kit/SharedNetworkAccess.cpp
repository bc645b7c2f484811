#include "ui/kit/SharedNetworkAccess.h"

#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QStandardPaths>
#include <QThread>

using namespace Qt::StringLiterals;

namespace quillon {

QNetworkAccessManager& sharedNetworkAccess() {
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    // Owned by the application object, so it goes before the event loop's objects do.
    static QNetworkAccessManager* manager = [] {
        auto* result = new QNetworkAccessManager(QCoreApplication::instance());
        auto* cache = new QNetworkDiskCache(result);
        cache->setCacheDirectory(
            QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation))
                .filePath(u"network"_s));
        result->setCache(cache);
        return result;
    }();
    return *manager;
}

} // namespace quillon
