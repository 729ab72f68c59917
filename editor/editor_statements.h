#pragma once
// The statements the code editor control sends to its editor page, built without any toolkit:
// text literals, the theme table, the settings routine, beautifying and selection ranges.
// Texts are UTF-8; positions in the page are rows and UTF-16 columns, as the page counts them.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orlavine::editor {

// The body of a double-quoted script string literal that reads back as `text`: backslash,
// both quotes, LF, CR and TAB escaped, and U+0085, U+2028 and U+2029 as "\u{XXXX}".
std::string scriptLiteral(std::string_view text);

// "editor.setValue(\"…\");" for the text setter.
std::string setValueStatement(std::string_view text);
// What the text setter sends after the value is in: clears the selection, puts the cursor at
// the start, turns change reports back on and drops the undo history.
std::vector<std::string> afterSetValueStatements();
inline constexpr const char* kStopReporting = "reportChanges = false;";
inline constexpr const char* kGetValue = "editor.getValue();";
inline constexpr const char* kFocus = "focusEditor();";
inline constexpr const char* kReadOnly = "editor.setReadOnly(true);";
inline constexpr const char* kGoToLine = "editor.prompt({ $type: \"gotoLine\" });";
inline constexpr const char* kBeautify =
    "css_beautify(editor.getValue(), {indent_with_tabs: true, preserve_newlines: true, "
    "max_preserve_newlines:2, selector_separator_newline: false});";

// The editor theme for a value of the "ACETheme" setting ("xcode" for anything unknown).
std::string_view themeForKey(std::string_view key);

// The windows that show the control, each with its own part of the settings routine.
enum class Owner { styleEditor, importSheet, exportSheet, preferencePreview };

// The editor settings as the settings files hold them.
struct Settings {
    std::string theme = "light";  // "ACETheme"
    bool showErrors = true;       // "ACEShowErrors"
    bool autocomplete = true;     // "ACEAutocomplete"
    bool showGutter = true;       // "ACEShowGutter"
    bool wordWrap = true;         // "ACEWordWrap"
    std::string fontFamily;       // "ACEFont", already mapped to a family that is installed
    int fontSize = 12;            // "ACEFontSize"
};

// The statements of the settings routine for `owner`, in order. `mode` is "css", "less" or
// "stylus"; `readOnly` adds the read-only statement (always for the export sheet and the
// preference preview).
std::vector<std::string> settingsStatements(const Settings& settings, Owner owner,
                                            std::string_view mode = "css", bool readOnly = false);

// The mode for a style's preprocessor: "less", "stylus", else "css".
std::string_view modeForPreprocessor(std::string_view preprocessor);

// A place in the page's text.
struct Position {
    std::size_t row = 0;
    std::size_t column = 0;  // UTF-16 code units from the start of the row

    bool operator==(const Position&) const = default;
};

// Where a range of the text (start and length in UTF-16 code units, as the toolkit counts)
// begins and ends in rows and columns. Rows end where the page ends them: at LF, CR LF or CR.
std::pair<Position, Position> rangePositions(std::u16string_view text, std::size_t location,
                                             std::size_t length);

// The script that selects and centres the range.
std::string selectRangeScript(Position start, Position end);

}  // namespace orlavine::editor
