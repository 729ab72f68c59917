#pragma once
// Reading a UserCSS document (a metadata comment between "==UserStyle==" and
// "==/UserStyle== */" followed by @-moz-document blocks) or plain CSS into a new style.

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "model/records.h"
#include "model/reporter.h"

namespace orlavine {

inline constexpr const char* kUnnamedUserCSSStyle = "Style From User CSS";

struct UserCSSReadHooks {
    // Draws the new style's uniqueID; without it a random 32-bit number is drawn.
    std::function<std::int64_t()> newUniqueID;
    // Receives the console line about a variable of an unknown type.
    Reporter* console = nullptr;
};

// The style that `text` describes, to be added to the library, or nothing when the text holds
// no code at all. Malformed metadata lines and variable declarations are skipped. Nothing is
// compiled: the caller compiles a style that needsCompiling().
std::optional<styleContainer> readUserCSS(std::string_view text,
                                          const UserCSSReadHooks& hooks = {});

// Cuts CSS that a preprocessor produced back into sections. The result has uniqueID 0 and is
// never stored; a CR LF inside a block's code becomes two line ends. Nothing is compiled.
std::optional<styleContainer> rereadUserCSS(std::string_view text, Reporter* console = nullptr);

// Whether the code of `style` is only usable once compiled: it has variables, or its
// preprocessor is exactly "less" or "stylus".
bool needsCompiling(const styleContainer& style);

// Whether `text` is a style document for readUserCSS rather than plain CSS: it has an
// @-moz-document block, or it opens with a UserCSS metadata comment ("==UserStyle=="), blocks or
// not (the export of a style that applies everywhere has none).
bool isUserCSSDocument(std::string_view text);

// Whether `line`, trimmed and lower-cased, begins with one of the metadata keys ("@name",
// "@version", "@namespace", "@description", "@author", "@homepageurl", "@supporturl",
// "@updateurl", "@license", "@preprocessor", "@var", "@advanced").
bool isMetadataKeyLine(std::string_view line);

}  // namespace orlavine
