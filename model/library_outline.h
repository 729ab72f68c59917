#pragma once
// A library file read without decoding its styles' code. Code is nearly all of a large library,
// and most work (listing the styles, switching one on) never looks at it: an outline finds the
// code texts with a quick scan that only checks them, keeps the file text, and decodes a style's
// code when it is asked for. Writing an outline copies the code texts as they stand.
//
// In the outline's records every section's code and compiledcode hold the decimal place of their
// text among the outline's pieces instead of the code; only decodeCode() and encode() read them.
// An outline is made only of a text the full decoder takes, and gives the same records once the
// code is decoded; for any other text (or one it cannot handle quickly) it gives nothing and
// the caller decodes the text in full, which also says what is wrong with it.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/records.h"

namespace orlavine {

class LibraryOutline {
  public:
    // The outline of `text` and its records, or nothing (see above).
    static std::optional<std::pair<LibraryOutline, styleDatabase>> read(
        std::shared_ptr<const std::string> text);

    // Puts the code of `style`'s sections, taken from this outline, in place of their places.
    void decodeCode(styleContainer& style) const;
    void decodeCode(styleDatabase& db) const;

    // The library text of `db`, whose code places refer to this outline.
    std::string encode(const styleDatabase& db) const;

  private:
    LibraryOutline() = default;

    std::string decodePiece(const std::string& place) const;

    std::shared_ptr<const std::string> text_;
    // The JSON string contents (between the quotes, escapes as written) of the code texts.
    std::vector<std::string_view> pieces_;
};

}  // namespace orlavine
