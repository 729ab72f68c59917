#include <optional>
#include <utility>

#include "formats/moz_document_reader.h"
#include "formats/text_scan.h"

namespace orlavine {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// The text between the first `open` and the last `close`, when the closing pair lies after the
// opening one.
std::optional<std::string_view> quotedValue(std::string_view piece, std::string_view open,
                                            std::string_view close) {
    const std::size_t first = piece.find(open);
    const std::size_t last = piece.rfind(close);
    if (first == npos || last == npos || last < first + open.size()) {
        return std::nullopt;
    }
    const std::size_t start = first + open.size();
    return piece.substr(start, last - start);
}

enum class Quoting { required, optional };

// The value of a rule function: the quoted text, or for unquoted rules everything between the
// parentheses. Nothing when a quoted value is not closed.
std::optional<std::string_view> ruleValue(std::string_view piece, Quoting quoting) {
    if (text::contains(piece, "(\"")) {
        return quotedValue(piece, "(\"", "\")");
    }
    if (text::contains(piece, "('")) {
        return quotedValue(piece, "('", "')");
    }
    if (quoting == Quoting::required) {
        return std::nullopt;
    }
    const std::size_t open = piece.find('(');
    const std::size_t close = piece.rfind(')');
    if (open == npos || close == npos || close < open) {
        return std::nullopt;
    }
    return piece.substr(open + 1, close - open - 1);
}

}  // namespace

styleSection parseMozDocumentRules(std::string_view header, std::string code) {
    styleSection section;
    section.code = std::move(code);
    std::string_view rest = header;
    if (rest.starts_with(kMozDocument)) {
        rest.remove_prefix(kMozDocument.size());
    }
    std::size_t pos = 0;
    for (;;) {
        const std::size_t cut = rest.find("),", pos);
        const std::string_view raw =
            rest.substr(pos, cut == npos ? std::string_view::npos : cut - pos);
        std::string piece(text::trimmed(raw));
        if (!piece.ends_with(')')) {
            piece += ')';  // the separator took it
        }
        if (piece.starts_with("domain(")) {
            if (auto v = ruleValue(piece, Quoting::optional)) {
                section.domains.emplace_back(*v);
            }
        } else if (piece.starts_with("url(")) {
            if (auto v = ruleValue(piece, Quoting::optional)) {
                section.urls.emplace_back(*v);
            }
        } else if (piece.starts_with("url-prefix(")) {
            if (auto v = ruleValue(piece, Quoting::optional)) {
                section.urlPrefixes.emplace_back(*v);
            }
        } else if (piece.starts_with("regexp(")) {
            if (auto v = ruleValue(piece, Quoting::required)) {
                section.regexps.push_back(
                    text::replaceAll(text::replaceAll(*v, "\\\\", "\\"), "\\/", "/"));
            }
        }
        if (cut == npos) {
            break;
        }
        pos = cut + 2;
    }
    return section;
}

}  // namespace orlavine
