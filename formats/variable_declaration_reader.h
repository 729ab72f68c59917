#pragma once
// Reading one user-variable declaration of a UserCSS metadata block: the text after "@var" or
// "@advanced", continuation lines joined with LF, for example
//   select theme "Theme" {"dark:Dark": "#000", "light*:Light": "#fff"}
//   range size "Size" [12, 8, 32, 2, 'px']
//   dropdown font "Font" { sans "Sans" <<<EOT Helvetica, sans-serif EOT; }

#include <optional>
#include <string_view>

#include "model/records.h"
#include "model/reporter.h"

namespace orlavine {

inline constexpr const char* kInvalidVariableTypeLine = "Invalid variable type.";

// The variable declared by `declaration`, or nothing when it is not a valid declaration. A
// declaration whose type is unknown also writes "Invalid variable type." to `console` (when
// given). A fresh variable's current value is its default value.
std::optional<userVariable> parseVariableDeclaration(std::string_view declaration,
                                                     Reporter* console = nullptr);

}  // namespace orlavine
