#pragma once

#include <QLibrary>
#include <QString>
#include <optional>

namespace signalpost {

// A shared library loaded on first use instead of linked: linked, its loading and relocation
// would hold back every start before main(). It is never unloaded (QLibrary leaves it loaded),
// as GLib's type system cannot let go of the types it registered.
class RuntimeLibrary {
public:
    // The functions `resolveAll(library, functions)` looks up, or none when the library or one
    // of them is missing.
    template <typename Functions, typename ResolveAll>
    static std::optional<Functions> load(const QString& name, int majorVersion,
                                         ResolveAll resolveAll) {
        RuntimeLibrary library(name, majorVersion);
        Functions functions;
        return resolveAll(library, functions) ? std::optional(functions) : std::nullopt;
    }

    // Points `function` at the symbol `name`; false when there is none.
    template <typename Function> bool resolve(const char* name, Function*& function) {
        function = reinterpret_cast<Function*>(m_library.resolve(name));
        return function != nullptr;
    }

private:
    RuntimeLibrary(const QString& name, int majorVersion)
        : m_library(name, majorVersion) {}

    QLibrary m_library;
};

} // namespace signalpost
