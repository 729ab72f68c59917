#include "editor/editor_settings.h"

#include <algorithm>

#include "model/settings_keys.h"

namespace orlavine::editor {

Settings settingsFrom(const SettingsStore& app) {
    Settings s;
    s.theme = app.stringValue(keys::kEditorTheme);
    s.showErrors = app.boolValue(keys::kEditorShowErrors);
    s.autocomplete = app.boolValue(keys::kEditorAutocomplete);
    s.showGutter = app.boolValue(keys::kEditorShowGutter);
    s.wordWrap = app.boolValue(keys::kEditorWordWrap);
    s.fontFamily = app.stringValue(keys::kEditorFont);
    s.fontSize =
        static_cast<int>(std::clamp<std::int64_t>(app.intValue(keys::kEditorFontSize), 6, 72));
    return s;
}

}  // namespace orlavine::editor
