#include "analytics/payload/DesktopSettings.h"

#include <QByteArray>
#include <QLibrary>
#include <QList>
#include <QMutex>
#include <algorithm>
#include <gio/gio.h>

namespace signalpost {
namespace {

// GIO is loaded on first read instead of being linked: linked, its loading and relocation would
// hold back every start before main(), while the first read comes once the window is up.
struct Gio {
    decltype(&g_settings_schema_source_get_default) schemaSourceGetDefault = nullptr;
    decltype(&g_settings_schema_source_lookup) schemaSourceLookup = nullptr;
    decltype(&g_settings_schema_has_key) schemaHasKey = nullptr;
    decltype(&g_settings_new_full) settingsNewFull = nullptr;
    decltype(&g_settings_get_boolean) getBoolean = nullptr;
    decltype(&g_settings_get_string) getString = nullptr;
};

template <typename Function>
bool resolve(QLibrary& library, const char* name, Function*& function) {
    function = reinterpret_cast<Function*>(library.resolve(name));
    return function != nullptr;
}

// None when GIO is not installed: there are no desktop settings to read then.
const Gio* gio() {
    static const std::optional<Gio> loaded = []() -> std::optional<Gio> {
        // Never unloaded: GLib's type system cannot let go of the types it registered.
        QLibrary library(QStringLiteral("gio-2.0"), 0);
        Gio functions;
        const bool complete =
            resolve(library, "g_settings_schema_source_get_default",
                    functions.schemaSourceGetDefault) &&
            resolve(library, "g_settings_schema_source_lookup", functions.schemaSourceLookup) &&
            resolve(library, "g_settings_schema_has_key", functions.schemaHasKey) &&
            resolve(library, "g_settings_new_full", functions.settingsNewFull) &&
            resolve(library, "g_settings_get_boolean", functions.getBoolean) &&
            resolve(library, "g_settings_get_string", functions.getString);
        return complete ? std::optional(functions) : std::nullopt;
    }();
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
