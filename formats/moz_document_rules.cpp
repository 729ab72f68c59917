#include <optional>
#include <utility>

#include "formats/moz_document_reader.h"
#include "text/text.h"

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

bool isCssSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string_view trimCssSpace(std::string_view s) {
    while (!s.empty() && isCssSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isCssSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// The header as CSS reads it: every /* */ comment outside a quoted string becomes one space
// (an unclosed one runs to the end). Quoted strings are copied as they are, backslash escapes
// included.
std::string withoutComments(std::string_view header) {
    std::string out;
    out.reserve(header.size());
    char quote = 0;
    const std::size_t n = header.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = header[i];
        if (quote != 0) {
            out += c;
            if (c == '\\' && i + 1 < n) {
                out += header[++i];
            } else if (c == quote) {
                quote = 0;
            }
            continue;
        }
        if (c == '/' && i + 1 < n && header[i + 1] == '*') {
            const std::size_t end = header.find("*/", i + 2);
            out += ' ';
            if (end == npos) {
                break;
            }
            i = end + 1;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        }
        out += c;
    }
    return out;
}

// The end of the separator ")" [white space] "," that starts at `close`, or npos.
std::size_t separatorEnd(std::string_view rest, std::size_t close) {
    std::size_t i = close + 1;
    while (i < rest.size() && isCssSpace(rest[i])) {
        ++i;
    }
    return i < rest.size() && rest[i] == ',' ? i + 1 : npos;
}

// A rule function with the white space between its parts taken out: "name(" directly followed
// by the argument and ")" (so "url(\n  'x'\n)" reads as "url('x')").
std::string tightPiece(std::string_view piece) {
    const std::size_t open = piece.find('(');
    const std::size_t close = piece.rfind(')');
    if (open == npos || close == npos || close < open) {
        return std::string(piece);
    }
    std::string out(piece.substr(0, open + 1));
    out += trimCssSpace(piece.substr(open + 1, close - open - 1));
    out += piece.substr(close);
    return out;
}

}  // namespace

styleSection parseMozDocumentRules(std::string_view header, std::string code) {
    styleSection section;
    section.code = std::move(code);
    std::string_view afterKeyword = header;
    if (afterKeyword.starts_with(kMozDocument)) {
        afterKeyword.remove_prefix(kMozDocument.size());
    }
    // White space, line breaks and comments between the parts of the rule functions count for
    // nothing, as in CSS.
    const std::string cleaned = withoutComments(afterKeyword);
    const std::string_view rest = cleaned;
    std::size_t pos = 0;
    for (;;) {
        std::size_t close = rest.find(')', pos);
        std::size_t next = npos;
        while (close != npos) {
            next = separatorEnd(rest, close);
            if (next != npos) {
                break;
            }
            close = rest.find(')', close + 1);
        }
        const std::string_view raw =
            rest.substr(pos, close == npos ? std::string_view::npos : close - pos);
        std::string piece(trimCssSpace(text::trimmed(raw)));
        if (!piece.ends_with(')')) {
            piece += ')';  // the separator took it
        }
        piece = tightPiece(piece);
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
        if (close == npos) {
            break;
        }
        pos = next;
    }
    return section;
}

}  // namespace orlavine
