#pragma once
// The editor settings as the program's settings file holds them.

#include "editor/editor_statements.h"
#include "model/settings_store.h"

namespace orlavine::editor {

// "ACETheme", "ACEShowErrors", "ACEAutocomplete", "ACEShowGutter", "ACEWordWrap", "ACEFont" and
// "ACEFontSize" (sizes below 6 or above 72 are taken as 6 or 72). The font family is the stored
// one; the control replaces a family that is not installed.
Settings settingsFrom(const SettingsStore& app);

}  // namespace orlavine::editor
