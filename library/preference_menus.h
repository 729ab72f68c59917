#pragma once
// The preference menus' items and the settings values they stand for, both ways, and what the
// editor pane enables: without the window.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orlavine {

// "ACETheme" by item of the theme menu (15 items; 7 to 9 all mean "dark").
std::string themeForMenuItem(std::size_t item);
std::size_t themeMenuItem(std::string_view theme);

// "ACEFont" by item of the font menu: "Menlo", "Courier", "Monaco", "Fira Code", "Cascadia
// Code", "ui-monospace".
std::string fontForMenuItem(std::size_t item);
std::size_t fontMenuItem(std::string_view font);
// The menu's families that are installed (by `installed`), in menu order, followed by
// `systemMonospace` when it is not among them; what the font menu offers on this machine.
std::vector<std::string> offeredFonts(const std::vector<std::string>& installed,
                                      const std::string& systemMonospace);

// "editorStyle" by item of the toolbar menu: "unified", "compact", "expanded".
std::string toolbarForMenuItem(std::size_t item);
std::size_t toolbarMenuItem(std::string_view style);
// The title box is enabled unless the toolbar is "expanded".
inline bool titleBoxEnabled(std::string_view toolbarStyle) {
    return toolbarStyle != "expanded";
}

inline constexpr const char* kExportDatabaseTitle = "Export Orlavine Database";
inline constexpr const char* kExportDatabaseName = "Orlavine Styles.sdb";
inline constexpr const char* kImportDatabaseTitle = "Import Orlavine Database";
inline constexpr const char* kCannotResetTitle = "Cannot Reset Style Database";
inline constexpr const char* kCannotResetText =
    "There are still styles open in the Style Editor. Please close all styles before resetting "
    "the database.";
inline constexpr const char* kResetWarningTitle = "WARNING: This will delete all current styles.";
inline constexpr const char* kResetWarningText =
    "If sync is on, this will also erase all styles from the cloud library. This action cannot "
    "be undone. Are you sure you would like to reset your style database?";

}  // namespace orlavine
