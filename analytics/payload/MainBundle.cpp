#include "analytics/payload/MainBundle.h"

#include <QReadWriteLock>

namespace signalpost {
namespace {

struct Storage {
    QReadWriteLock lock;
    QVariantMap info;
};

Storage& storage() {
    static Storage instance;
    return instance;
}

} // namespace

void MainBundle::setInfoDictionary(const QVariantMap& info) {
    QWriteLocker locker(&storage().lock);
    storage().info = info;
}

QVariantMap MainBundle::infoDictionary() {
    QReadLocker locker(&storage().lock);
    return storage().info;
}

} // namespace signalpost
