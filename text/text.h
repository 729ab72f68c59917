#pragma once
// Small text operations every module shares: UTF-8 checking and repair, trimming, ASCII case
// folding that ignores the locale, counting. Text is UTF-8; every operation here looks for ASCII
// delimiters only, so it never cuts a code point apart. Each runs in time linear in its input.

#include <cstddef>
#include <string>
#include <string_view>

namespace orlavine::text {

// The white-space-and-line-break set: ASCII space, TAB, LF, VT, FF, CR, NEL, and the Unicode
// space separators, line separator and paragraph separator.
std::string_view trimmed(std::string_view s);

inline bool contains(std::string_view s, std::string_view part) {
    return s.find(part) != std::string_view::npos;
}
inline bool contains(std::string_view s, char c) {
    return s.find(c) != std::string_view::npos;
}

// Replaces every occurrence of `from` (not empty), scanning left to right without overlaps.
std::string replaceAll(std::string_view s, std::string_view from, std::string_view to);

// Letters A-Z become a-z; every other byte stays.
std::string asciiLower(std::string_view s);

// A CR LF pair becomes one LF, then every remaining CR becomes LF.
std::string joinLineEnds(std::string_view s);
// Every CR becomes LF (so CR LF becomes two LFs).
std::string crToLf(std::string_view s);

// Number of occurrences of `part` (not empty), without overlaps.
std::size_t countOccurrences(std::string_view s, std::string_view part);

// Length in bytes of the code point that starts at s[i] (1 for a stray byte); never runs past
// the end of `s`.
std::size_t codePointLength(std::string_view s, std::size_t i);

// `s` without a leading UTF-8 byte-order mark.
inline std::string_view withoutByteOrderMark(std::string_view s) {
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    return s.starts_with(kMark) ? s.substr(kMark.size()) : s;
}

// `s` safe to print on a terminal: control characters (C0, DEL and C1, which start escape
// sequences that retitle or recolour the terminal) are shown as \xHH or \u00HH; bytes that are no
// UTF-8 as \xHH. Everything else is kept.
std::string forTerminal(std::string_view s);

// Length of the well-formed UTF-8 sequence at the start of `text` (1 for ASCII), or 0 when
// there is none.
std::size_t utf8SequenceLength(std::string_view text);
// Whether `s` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isValidUtf8(std::string_view s);
// `s` with every byte that is not part of a well-formed sequence replaced by U+FFFD.
std::string replaceInvalidUtf8(std::string_view s);

}  // namespace orlavine::text
