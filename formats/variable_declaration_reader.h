#pragma once
// Reading one user-variable declaration of a UserCSS metadata block: the text after "@var" or
// "@advanced", continuation lines joined with LF, for example
//   select theme "Theme" {"dark:Dark": "#000", "light*:Light": "#fff"}
//   range size "Size" [12, 8, 32, 2, 'px']
//   dropdown font "Font" { sans "Sans" <<<EOT Helvetica, sans-serif EOT; }

#include <optional>
#include <string>
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

// Whether a declaration read so far still waits for more lines: it has an open brace or bracket,
// an unclosed quoted string or a here-document without its "EOT;". Only then do the following
// lines of the metadata block belong to it. `nextLine` is the line that would follow: one that
// opens the value ("{", "[" or "<<<EOT") continues a declaration that has no value list yet.
bool variableDeclarationContinues(std::string_view declaration, std::string_view nextLine);

// The same test for a declaration that grows line by line, in time linear in its length.
class VariableDeclarationScan {
  public:
    // Takes the next piece of the declaration's text.
    void feed(std::string_view text);
    bool continuesWith(std::string_view nextLine) const;

  private:
    int depth_ = 0;
    bool hasList_ = false;
    char quote_ = 0;
    bool escaped_ = false;
    bool inHereDocument_ = false;
    char last_ = ' ';
    std::string window_;  // the last six characters, for "<<<EOT" and "EOT;"
};

}  // namespace orlavine
