#pragma once
// The values of a page address that the rules compare against.
//
// Addresses are taken the way the browser takes them (the WHATWG URL rules): characters that
// browsers keep raw in location.href ("[ ] | ^ { }", backticks, a bare "%", non-ASCII text) are
// never a reason to refuse an address. Before Boost.URL parses it, the text is brought into
// RFC 3986 form by percent-encoding such characters; a host written in Unicode becomes its
// punycode (IDNA) form, as the browser would show it.

#include <optional>
#include <string>
#include <string_view>

namespace orlavine {

struct PageAddress {
    // The address exactly as the browser gave it.
    std::string_view text;
    // Whether the text is an absolute URL (a scheme followed by ":"), as WHATWG parsing accepts.
    bool valid = false;
    // The host, percent-decoded, in ASCII (punycode for international names) and lower-cased;
    // an IPv6 host without its brackets, in its canonical form. Absent when the address has no
    // authority or an empty host.
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

// The address brought into RFC 3986 form the way a browser would read it, or nothing when it
// has no scheme. Exposed for tests.
std::optional<std::string> rfc3986Form(std::string_view text);

// Whether a frame address stands for a document that the page itself wrote ("about:blank",
// "about:srcdoc", with any query or fragment): such frames are styled for the page's address.
bool isPageWrittenFrame(std::string_view text);

// ASCII lower-casing; other bytes stay as they are.
std::string lowerAscii(std::string_view text);

}  // namespace orlavine
