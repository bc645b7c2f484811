#pragma once

#include <QString>
#include <optional>

namespace signalpost {

// The desktop's own preferences that the default payload reports: accessibility and the
// colour scheme, read from GSettings where the desktop's schemas are installed.
class DesktopSettings {
public:
    struct Accessibility {
        bool reduceMotion = false;
        bool invertColors = false;
    };
    enum class ColorScheme { light, dark };

    // None when the desktop's schemas are not installed.
    static std::optional<Accessibility> accessibility();
    static std::optional<ColorScheme> colorScheme();
};

} // namespace signalpost
