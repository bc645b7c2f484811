#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>

namespace quillon {

// The application's bundle: its resource folder and its application-information file
// (Info.plist). The installed program finds it in ../share/quillon/ beside bin/; tests hand
// it a fixture folder.
class AppBundle {
public:
    explicit AppBundle(QString resourceDirectory);

    // The bundle of the running program.
    static AppBundle main();

    const QString& resourceDirectory() const { return m_resourceDirectory; }

    // The path of the resource `name`.`extension`, none when there is no such file.
    std::optional<QString> pathForResource(const QString& name, const QString& extension) const;

    // Info.plist's top-level dictionary; empty when the file is missing or unreadable.
    QVariantMap infoDictionary() const;

private:
    QString m_resourceDirectory;
};

} // namespace quillon
