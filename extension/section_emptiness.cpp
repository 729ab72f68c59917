#include "extension/section_emptiness.h"

#include <array>
#include <cstddef>

namespace orlavine {

namespace {

// The Unicode White_Space characters beyond ASCII, in UTF-8.
constexpr std::array<std::string_view, 18> kWideSpaces = {
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
};
constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";

bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Length of the white-space character at the start (or, with atEnd, the end) of text; 0 if none.
std::size_t spaceLength(std::string_view text, bool atEnd) {
    if (text.empty()) {
        return 0;
    }
    if (isAsciiSpace(atEnd ? text.back() : text.front())) {
        return 1;
    }
    const auto matches = [&](std::string_view space) {
        return atEnd ? text.ends_with(space) : text.starts_with(space);
    };
    for (std::string_view space : kWideSpaces) {
        if (matches(space)) {
            return space.size();
        }
    }
    return matches(kIdeographicSpace) ? kIdeographicSpace.size() : 0;
}

std::size_t count(std::string_view text, std::string_view what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos;
         at = text.find(what, at + what.size())) {
        ++n;
    }
    return n;
}

// True when the text is nothing but comments and white space, read the way a CSS tokenizer
// reads comments (an unclosed comment runs to the end).
bool onlyComments(std::string_view text) {
    for (;;) {
        text = trimWhiteSpace(text);
        if (text.empty()) {
            return true;
        }
        if (!text.starts_with("/*")) {
            return false;
        }
        const std::size_t close = text.find("*/", 2);
        if (close == std::string_view::npos) {
            return true;
        }
        text.remove_prefix(close + 2);
    }
}

// Every piece between the "*/\n" separators, trimmed, opens a comment.
bool piecesAllOpenComments(std::string_view text) {
    constexpr std::string_view kSeparator = "*/\n";
    for (;;) {
        const std::size_t at = text.find(kSeparator);
        if (!trimWhiteSpace(text.substr(0, at)).starts_with("/*")) {
            return false;
        }
        if (at == std::string_view::npos) {
            return true;
        }
        text.remove_prefix(at + kSeparator.size());
    }
}

}  // namespace

std::string_view trimWhiteSpace(std::string_view text) {
    while (std::size_t n = spaceLength(text, false)) {
        text.remove_prefix(n);
    }
    while (std::size_t n = spaceLength(text, true)) {
        text.remove_suffix(n);
    }
    return text;
}

bool isEmptySectionText(std::string_view text) {
    const std::string_view trimmed = trimWhiteSpace(text);
    if (trimmed.empty()) {
        return true;
    }
    if (trimmed.starts_with("/*") && trimmed.ends_with("*/")) {
        if (count(trimmed, "/*") == 1 && count(trimmed, "*/") == 1) {
            return true;  // one comment
        }
        // Several comments, each closed at the end of its line. The separator test alone would
        // also call "/* a */ a { color: red } /* b */" (or the same with CRLF line ends) empty
        // and drop its rules, so the text must also really be comments only.
        return piecesAllOpenComments(trimmed) && onlyComments(trimmed);
    }
    if (trimmed.starts_with("@namespace")) {
        return trimmed.find('\n') == std::string_view::npos;
    }
    return false;
}

}  // namespace orlavine
