#pragma once
// The values of a page address that the rules compare against.

#include <optional>
#include <string>
#include <string_view>

namespace orlavine {

struct PageAddress {
    // The address exactly as the browser gave it.
    std::string_view text;
    // The host, percent-decoded and lower-cased (ASCII letters); absent when the text does not
    // parse as a URL, has no authority, or has an empty host.
    std::optional<std::string> host;
    // The text as regular expressions see it (invalid UTF-8 replaced by U+FFFD) followed by "/",
    // so both the address and the address with a trailing slash are views into one buffer.
    std::string matchBuffer;

    std::string_view matchText() const {
        return std::string_view(matchBuffer).substr(0, matchBuffer.size() - 1);
    }
    std::string_view matchTextWithSlash() const { return matchBuffer; }
};

PageAddress readPageAddress(std::string_view text);

// ASCII lower-casing; other bytes stay as they are.
std::string lowerAscii(std::string_view text);

}  // namespace orlavine
