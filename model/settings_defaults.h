#pragma once
// The defaults each program registers at start. Registering never writes a value.

#include <optional>

#include "model/records.h"
#include "model/settings_store.h"

namespace orlavine {

inline constexpr const char* kDefaultAuthorName = "Orlavine User";

// The desktop's light or dark preference (asked by the desktop module).
enum class ColorScheme { light, dark };

// Registers the application's and the shared store's defaults. "DefaultNamespace" gets a fresh
// style number that no style of `db` has; "ACETheme" follows `desktop` ("light" without it).
void registerAppDefaults(SettingsStores& stores, const styleDatabase& db,
                         std::optional<ColorScheme> desktop);

// Registers "InjectIframes" = false and "toggleShortcut" = true in the shared store.
void registerSharedDefaults(SettingsStores& stores);

// Registers "enableStyles" = true in the browser host's store, and the shared store's defaults:
// the host reads "toggleShortcut" too, and a default registered only in the desktop program
// would leave the shortcut off in the browser until the user changed the preference.
void registerExtensionDefaults(SettingsStores& stores);

}  // namespace orlavine
