#pragma once
// Importing styles from pasted CSS and from CSS files: plain CSS becomes a style that applies
// everywhere, documents with @-moz-document blocks go through the UserCSS reader. The user is
// told through alerts; the outcome says what happened, for the caller's window or command.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "formats/usercss_reader.h"
#include "library/library_services.h"

namespace orlavine {

inline constexpr const char* kPastedStyleName = "New Style from CSS";
inline constexpr const char* kMozDocumentStyleName = "Style from @-moz-document Format";
inline constexpr const char* kNoRulesTitle = "CSS Imported With No Rules";
inline constexpr const char* kNoRulesText =
    "The style you have imported does not have any defined rules for where it should be "
    "applied. If you do not define these rules, the style will be applied to all sites.";
inline constexpr const char* kFileNoRulesTitle = "CSS File Imported With No Rules";
inline constexpr const char* kInvalidStyleTitle = "Invalid Style";
inline constexpr const char* kInvalidPastedStyleText =
    "There was an error importing this style. Please make sure there were no formatting or "
    "syntax errors in this style.";

// Style files larger than this are not read.
inline constexpr std::size_t kMaxStyleFileBytes = std::size_t{128} * 1024 * 1024;

enum class ImportResult {
    added,              // read as a UserCSS or @-moz-document style
    addedWithoutRules,  // plain CSS, added as a style for every site
    invalid,            // the reader found no code; nothing added
    unreadable,         // the file could not be read as UTF-8 text; nothing added
    notSaved,           // the library could not be written (the store told the user)
};

struct ImportOutcome {
    ImportResult result = ImportResult::invalid;
    std::int64_t uniqueID = 0;  // of the added style
    std::string name;           // of the added style
};

// readUserCSS, then the compile a style with variables or Less/Stylus code needs (none without
// a compiler).
std::optional<styleContainer> readAndCompileUserCSS(std::string_view text,
                                                    const UserCSSReadHooks& hooks,
                                                    StyleCompiler* compiler);

// A "custom" style for every site: one section without rules holding the whole of `text`.
styleContainer plainStyle(std::string name, std::string_view text);

// Imports the text pasted into the import window. The window closes unless the result is
// `invalid`.
ImportOutcome importPastedText(std::string_view text, const LibraryServices& services);

// Imports one style file (.css, .user.css, .styl, .less). A file that cannot be read is passed
// over without an alert.
ImportOutcome importStyleFile(const std::filesystem::path& file, const LibraryServices& services);

// The style name a file gives: its name without the last extension, cut before ".user" when
// it ends so ("dark.user.css" gives "dark").
std::string styleNameForFile(const std::filesystem::path& file);

}  // namespace orlavine
