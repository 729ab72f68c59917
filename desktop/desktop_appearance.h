#pragma once
// The desktop's light or dark preference, from the freedesktop appearance setting.

#include <optional>

#include "model/settings_defaults.h"

namespace orlavine {

// The scheme the desktop prefers, or nothing when it expresses no preference or cannot be
// asked. ORLAVINE_COLOR_SCHEME=dark|light overrides the desktop (for tests and for desktops
// without the setting).
std::optional<ColorScheme> desktopColorScheme();

}  // namespace orlavine
