#include "analytics/payload/DesktopSettings.h"

#include "analytics/base/RuntimeLibrary.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <algorithm>
#include <gio/gio.h>

using namespace Qt::StringLiterals;

namespace signalpost {
namespace {

// GIO is loaded on first read instead of being linked: the first read comes once the window is up.
struct Gio {
    decltype(&g_settings_schema_source_get_default) schemaSourceGetDefault = nullptr;
    decltype(&g_settings_schema_source_lookup) schemaSourceLookup = nullptr;
    decltype(&g_settings_schema_has_key) schemaHasKey = nullptr;
    decltype(&g_settings_new_full) settingsNewFull = nullptr;
    decltype(&g_settings_get_boolean) getBoolean = nullptr;
    decltype(&g_settings_get_string) getString = nullptr;
};

// None when GIO is not installed: there are no desktop settings to read then.
const Gio* gio() {
    static const std::optional<Gio> loaded =
        RuntimeLibrary::load<Gio>(u"gio-2.0"_s, 0, [](RuntimeLibrary& library, Gio& functions) {
            return library.resolve("g_settings_schema_source_get_default",
                                   functions.schemaSourceGetDefault) &&
                   library.resolve("g_settings_schema_source_lookup",
                                   functions.schemaSourceLookup) &&
                   library.resolve("g_settings_schema_has_key", functions.schemaHasKey) &&
                   library.resolve("g_settings_new_full", functions.settingsNewFull) &&
                   library.resolve("g_settings_get_boolean", functions.getBoolean) &&
                   library.resolve("g_settings_get_string", functions.getString);
        });
    return loaded ? &*loaded : nullptr;
}

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
    const Gio* functions = gio();
    if (functions == nullptr) {
        return nullptr;
    }
    QMutexLocker locker(&mutex);
    auto it = std::find_if(entries.cbegin(), entries.cend(),
                           [&](const Entry& entry) { return entry.id == schemaID; });
    if (it == entries.cend()) {
        Entry entry{QByteArray(schemaID), nullptr, nullptr};
        if (GSettingsSchemaSource* source = functions->schemaSourceGetDefault()) {
            entry.schema = functions->schemaSourceLookup(source, schemaID, TRUE);
            if (entry.schema) {
                entry.settings = functions->settingsNewFull(entry.schema, nullptr, nullptr);
            }
        }
        entries.append(entry);
        it = std::prev(entries.cend());
    }
    return it->settings && functions->schemaHasKey(it->schema, key) ? it->settings : nullptr;
}

bool booleanOf(GSettings* settings, const char* key) {
    return gio()->getBoolean(settings, key);
}

} // namespace

std::optional<DesktopSettings::Accessibility> DesktopSettings::accessibility() {
    GSettings* interface = settingsWithKey("org.gnome.desktop.interface", "enable-animations");
    if (!interface) {
        return std::nullopt;
    }
    Accessibility result;
    result.reduceMotion = !booleanOf(interface, "enable-animations");
    // The desktop inverts colours only through its magnifier.
    GSettings* applications =
        settingsWithKey("org.gnome.desktop.a11y.applications", "screen-magnifier-enabled");
    GSettings* magnifier = settingsWithKey("org.gnome.desktop.a11y.magnifier", "invert-lightness");
    result.invertColors = applications && magnifier &&
                          booleanOf(applications, "screen-magnifier-enabled") &&
                          booleanOf(magnifier, "invert-lightness");
    return result;
}

std::optional<DesktopSettings::ColorScheme> DesktopSettings::colorScheme() {
    GSettings* interface = settingsWithKey("org.gnome.desktop.interface", "color-scheme");
    if (!interface) {
        return std::nullopt;
    }
    gchar* value = gio()->getString(interface, "color-scheme");
    const bool dark = value && g_strcmp0(value, "prefer-dark") == 0;
    g_free(value);
    return dark ? ColorScheme::dark : ColorScheme::light;
}

} // namespace signalpost
