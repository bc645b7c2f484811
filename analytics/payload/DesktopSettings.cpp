#include "analytics/payload/DesktopSettings.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <algorithm>
#include <gio/gio.h>

namespace signalpost {
namespace {

// One live settings object per schema, made on first use: it follows the desktop's changes,
// so keeping it is not memoising its values. None when the schema or key is not installed.
GSettings* settingsWithKey(const char* schemaID, const char* key) {
    struct Entry {
        QByteArray id;
        GSettingsSchema* schema;
        GSettings* settings;
    };
    static QMutex mutex;
    static QList<Entry> entries;
    QMutexLocker locker(&mutex);
    auto it = std::find_if(entries.cbegin(), entries.cend(),
                           [&](const Entry& entry) { return entry.id == schemaID; });
    if (it == entries.cend()) {
        Entry entry{QByteArray(schemaID), nullptr, nullptr};
        if (GSettingsSchemaSource* source = g_settings_schema_source_get_default()) {
            entry.schema = g_settings_schema_source_lookup(source, schemaID, TRUE);
            if (entry.schema) {
                entry.settings = g_settings_new_full(entry.schema, nullptr, nullptr);
            }
        }
        entries.append(entry);
        it = std::prev(entries.cend());
    }
    return it->settings && g_settings_schema_has_key(it->schema, key) ? it->settings : nullptr;
}

} // namespace

std::optional<DesktopSettings::Accessibility> DesktopSettings::accessibility() {
    GSettings* interface = settingsWithKey("org.gnome.desktop.interface", "enable-animations");
    if (!interface) {
        return std::nullopt;
    }
    Accessibility result;
    result.reduceMotion = !g_settings_get_boolean(interface, "enable-animations");
    // The desktop inverts colours only through its magnifier.
    GSettings* applications =
        settingsWithKey("org.gnome.desktop.a11y.applications", "screen-magnifier-enabled");
    GSettings* magnifier = settingsWithKey("org.gnome.desktop.a11y.magnifier", "invert-lightness");
    result.invertColors = applications && magnifier &&
                          g_settings_get_boolean(applications, "screen-magnifier-enabled") &&
                          g_settings_get_boolean(magnifier, "invert-lightness");
    return result;
}

std::optional<DesktopSettings::ColorScheme> DesktopSettings::colorScheme() {
    GSettings* interface = settingsWithKey("org.gnome.desktop.interface", "color-scheme");
    if (!interface) {
        return std::nullopt;
    }
    gchar* value = g_settings_get_string(interface, "color-scheme");
    const bool dark = value && g_strcmp0(value, "prefer-dark") == 0;
    g_free(value);
    return dark ? ColorScheme::dark : ColorScheme::light;
}

} // namespace signalpost
