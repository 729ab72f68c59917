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

#include "model/library_index.h"
#include "model/records.h"

namespace orlavine {

class LibraryOutline {
  public:
    // When the code texts are checked. Checking them on reading is what makes the outline of a
    // text exactly what the full decoder gives. A reader that only shows styles may leave each
    // text to be checked when it is decoded: a text the decoder would not take then decodes
    // (and is written back) as empty, where the full decoder refuses the whole file.
    enum class CodeCheck { onRead, onDecode };

    // The outline of `text` and its records, or nothing (see above). A large text is read on
    // two threads where there are two cores; the second has ended when this returns.
    static std::optional<std::pair<LibraryOutline, styleDatabase>> read(
        std::shared_ptr<const std::string> text, CodeCheck check = CodeCheck::onRead);

    // The outline of `text` as an index made from the file it was read from gives it: the code
    // texts are at the index's spans, each known to read back as the decoder takes it, and the
    // index's records go with it. Nothing when a span is not a string's contents in `text`.
    static std::optional<LibraryOutline> fromIndex(std::shared_ptr<const std::string> text,
                                                   const std::vector<CodeSpan>& spans);

    // Puts the code of `style`'s sections, taken from this outline, in place of their places.
    void decodeCode(styleContainer& style) const;
    void decodeCode(styleDatabase& db) const;

    // The library text of `db`, whose code places refer to this outline.
    std::string encode(const styleDatabase& db) const;

    // The text read.
    std::string_view text() const { return text_ ? std::string_view(*text_) : std::string_view(); }
    // The code texts as the file holds them (each JSON string's contents between its quotes,
    // escapes as written), by place, and where each begins in the text read.
    const std::vector<std::string_view>& storedCode() const { return pieces_; }
    std::size_t offsetInText(std::string_view stored) const {
        return static_cast<std::size_t>(stored.data() - text_->data());
    }
    // The place that a code field of the outline's records holds, or nothing.
    static std::optional<std::size_t> placeOf(std::string_view field);
    // A stored code text read back: `quoted` is its contents followed by the closing quote.
    // Nothing unless the decoder takes it as one string's contents, so bytes that changed since
    // the outline was read never give a text the decoder would not have.
    static std::optional<std::string> decodeStored(std::string_view quoted);
    // Whether decodeStored(quoted) gives a text, found without decoding it.
    static bool readsBack(std::string_view quoted);
    // One of storedCode() with its closing quote, as decodeStored() takes it.
    static std::string_view quoted(std::string_view stored);

  private:
    LibraryOutline() = default;

    std::string decodePiece(const std::string& place) const;

    std::shared_ptr<const std::string> text_;
    bool checked_ = true;   // every piece passed the quick check on reading
    bool readable_ = true;  // every piece is known to read back (checked_, or an index says so)
    // The JSON string contents (between the quotes, escapes as written) of the code texts.
    std::vector<std::string_view> pieces_;
};

}  // namespace orlavine
