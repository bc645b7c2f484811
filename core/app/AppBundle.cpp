#include "core/app/AppBundle.h"

#include "core/app/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace quillon {

AppBundle::AppBundle(QString resourceDirectory)
    : m_resourceDirectory(std::move(resourceDirectory)) {}

AppBundle AppBundle::main() {
    // The kernel's link to the running program, which also works before the application
    // object exists (the web engine's URL schemes must be registered then).
    const QFileInfo executable(QFileInfo(u"/proc/self/exe"_s).canonicalFilePath());
    return AppBundle(QDir::cleanPath(executable.path() + u"/../share/quillon"_s));
}

std::optional<QString> AppBundle::pathForResource(const QString& name,
                                                  const QString& extension) const {
    const QString path = QDir(m_resourceDirectory).filePath(name + u'.' + extension);
    if (!QFileInfo(path).isFile()) {
        return std::nullopt;
    }
    return path;
}

QVariantMap AppBundle::infoDictionary() const {
    const auto path = pathForResource(u"Info"_s, u"plist"_s);
    if (!path) {
        return {};
    }
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const auto root = plist::parse(file.readAll());
    return root && root->typeId() == QMetaType::QVariantMap ? root->toMap() : QVariantMap();
}

} // namespace quillon
