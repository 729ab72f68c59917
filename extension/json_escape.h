#pragma once
// JSON string text for the host's replies, written in bulk: runs of bytes that need no escape
// are copied sixteen at a time, so a megabyte of CSS costs little more than a copy. The text is
// the same as Boost.JSON's serializer writes (\" \\ \b \t \n \f \r, other control characters as
// \u00xx, every other byte as it is).

#include <cstddef>
#include <string>
#include <string_view>

namespace orlavine {

// Appends `text` as a JSON string, quotes included.
void appendJsonString(std::string& out, std::string_view text);

// Appends, without quotes, the escaped form of the longest start of `text` that fits in
// `budget` bytes once escaped and does not cut a UTF-8 sequence; returns how many bytes of
// `text` it took. `budget` must be at least 6, so that something always fits.
std::size_t appendEscapedWithin(std::string& out, std::string_view text, std::size_t budget);

// The same with `text` escaped twice: what a JSON string holds when its value is the text of a
// JSON string holding `text`, as the parts of a long reply carry a page's CSS. `budget` must be
// at least 7.
std::size_t appendTwiceEscapedWithin(std::string& out, std::string_view text, std::size_t budget);

}  // namespace orlavine
