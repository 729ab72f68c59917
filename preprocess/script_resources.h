#pragma once
// The compiler scripts shipped with the program: "less.min.js", "stylus-renderer.min.js" and
// "encoding.min.js", read anew for every compilation.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orlavine {

inline constexpr const char* kLessScript = "less.min.js";
inline constexpr const char* kStylusScript = "stylus-renderer.min.js";
inline constexpr const char* kEncodingScript = "encoding.min.js";

// The folder "resources" next to the running program, else "../share/orlavine/resources" from
// it (an installed program); the first when neither exists.
std::filesystem::path programScriptDirectory();

// The script's text, or nothing when it is missing, unreadable or larger than any compiler.
std::optional<std::string> readScript(const std::filesystem::path& directory,
                                      std::string_view name);

}  // namespace orlavine
