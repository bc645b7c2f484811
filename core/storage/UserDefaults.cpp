#include "core/storage/UserDefaults.h"

#include <QFile>
#include <QFileDevice>
#include <QTemporaryDir>
#include <optional>

namespace quillon {
namespace {

bool writeAll(QFileDevice& file, const QByteArray& bytes) {
    // A short write may only show when the buffer is flushed.
    return file.write(bytes) == bytes.size() && file.flush();
}

// What Qt's own INI reader makes of `bytes`; none when they cannot be parsed.
std::optional<QSettings::SettingsMap> parseIni(const QByteArray& bytes, const QTemporaryDir& dir,
                                               const QString& name) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !writeAll(file, bytes)) {
        return std::nullopt;
    }
    file.close();
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        return std::nullopt;
    }
    QSettings::SettingsMap map;
    for (const QString& key : ini.allKeys()) {
        map.insert(key, ini.value(key));
    }
    return map;
}

// INI keeps no type for numbers and flags: they read back as their text; an empty list reads
// back as no value.
bool sameValue(const QVariant& written, const QVariant& read) {
    if (written == read) {
        return true;
    }
    if (read.typeId() == QMetaType::QString) {
        return written.toString() == read.toString();
    }
    const bool list =
        written.typeId() == QMetaType::QStringList || written.typeId() == QMetaType::QVariantList;
    return !read.isValid() && list && written.toList().isEmpty();
}

// Qt's INI text for `map`, made in a scratch folder and checked to read back as `map`.
std::optional<QByteArray> iniText(const QSettings::SettingsMap& map) {
    const QTemporaryDir scratch;
    if (!scratch.isValid()) {
        return std::nullopt;
    }
    const QString path = scratch.filePath(QStringLiteral("written.ini"));
    {
        QSettings ini(path, QSettings::IniFormat);
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            ini.setValue(it.key(), it.value());
        }
        ini.sync();
        if (ini.status() != QSettings::NoError) {
            return std::nullopt;
        }
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    const auto readBack = parseIni(bytes, scratch, QStringLiteral("check.ini"));
    if (!readBack || readBack->keys() != map.keys()) {
        return std::nullopt;
    }
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (!sameValue(it.value(), readBack->value(it.key()))) {
            return std::nullopt;
        }
    }
    return bytes;
}

bool readSettings(QIODevice& device, QSettings::SettingsMap& map) {
    const QTemporaryDir scratch;
    const auto parsed = scratch.isValid()
                            ? parseIni(device.readAll(), scratch, QStringLiteral("read.ini"))
                            : std::nullopt;
    if (!parsed) {
        return false;
    }
    map = *parsed;
    return true;
}

// Returning false keeps QSettings from replacing the file.
bool writeSettings(QIODevice& device, const QSettings::SettingsMap& map) {
    const auto bytes = iniText(map);
    auto* file = qobject_cast<QFileDevice*>(&device);
    if (!bytes || file == nullptr) {
        return false;
    }
    return file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
           writeAll(*file, *bytes);
}

} // namespace

QSettings::Format userDefaultsFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("ini"), readSettings, writeSettings);
    return format;
}

std::shared_ptr<QSettings> standardUserDefaults() {
    return std::make_shared<QSettings>(userDefaultsFormat(), QSettings::UserScope,
                                       QStringLiteral("quillon"), QStringLiteral("quillon"));
}

} // namespace quillon
