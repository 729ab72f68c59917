#include "extension/page_address.h"

#include <idn2.h>

#include <array>
#include <boost/url/parse.hpp>
#include <cstdlib>

#include "text/text.h"

namespace orlavine {
namespace {

constexpr std::size_t npos = std::string_view::npos;

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHex(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Characters that RFC 3986 allows as they are in the parts named below (besides "%" starting a
// valid escape).
enum class Part { userinfo, host, rest };

bool allowedRaw(char c, Part part) {
    if (isAlpha(c) || isDigit(c)) {
        return true;
    }
    static constexpr std::string_view kUnreservedAndSubDelims = "-._~!$&'()*+,;=";
    if (kUnreservedAndSubDelims.find(c) != npos) {
        return true;
    }
    switch (part) {
        case Part::userinfo:
            return c == ':';
        case Part::host:
            return false;
        case Part::rest:
            return c == ':' || c == '@' || c == '/' || c == '?';
    }
    return false;
}

void appendEncoded(std::string& out, std::string_view text, Part part) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    bool seenFragment = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
            out += c;
            continue;
        }
        if (part == Part::rest && c == '#' && !seenFragment) {
            seenFragment = true;  // the first "#" starts the fragment; later ones are text
            out += c;
            continue;
        }
        if (allowedRaw(c, part)) {
            out += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        out += '%';
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
}

bool isSpecialScheme(std::string_view lowerScheme) {
    static constexpr std::array<std::string_view, 6> kSpecial = {"http", "https", "ws",
                                                                 "wss",  "ftp",   "file"};
    for (std::string_view s : kSpecial) {
        if (s == lowerScheme) {
            return true;
        }
    }
    return false;
}

// The text without leading and trailing C0 controls and spaces and without any TAB, LF or CR,
// as the WHATWG parser reads it.
std::string cleaned(std::string_view text) {
    std::size_t start = 0;
    std::size_t end = text.size();
    while (start < end && static_cast<unsigned char>(text[start]) <= 0x20) {
        ++start;
    }
    while (end > start && static_cast<unsigned char>(text[end - 1]) <= 0x20) {
        --end;
    }
    std::string out;
    out.reserve(end - start);
    for (std::size_t i = start; i < end; ++i) {
        if (text[i] != '\t' && text[i] != '\n' && text[i] != '\r') {
            out += text[i];
        }
    }
    return out;
}

bool isAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

// A host name as the browser shows it: international names in punycode, lower-cased. A name
// that IDNA refuses is kept as it is (lower-cased), never a reason to drop the host.
std::string asciiHost(const std::string& decoded) {
    if (isAscii(decoded)) {
        return lowerAscii(decoded);
    }
    char* converted = nullptr;
    if (idn2_to_ascii_8z(decoded.c_str(), &converted, IDN2_NONTRANSITIONAL) == IDN2_OK &&
        converted != nullptr) {
        std::string out = lowerAscii(converted);
        idn2_free(converted);
        return out;
    }
    if (converted != nullptr) {
        idn2_free(converted);
    }
    return lowerAscii(decoded);
}

// Characters that the WHATWG rules never allow in a host name, even percent-encoded.
bool hasForbiddenHostCharacter(std::string_view host) {
    for (char c : host) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || std::string_view("#%/:<>?@[\\]^|").find(c) != npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::optional<std::string> rfc3986Form(std::string_view original) {
    const std::string text = cleaned(original);
    // The scheme: a letter, then letters, digits, "+", "-" or ".", then ":".
    if (text.empty() || !isAlpha(text[0])) {
        return std::nullopt;
    }
    std::size_t colon = 1;
    while (colon < text.size() &&
           (isAlpha(text[colon]) || isDigit(text[colon]) || text[colon] == '+' ||
            text[colon] == '-' || text[colon] == '.')) {
        ++colon;
    }
    if (colon >= text.size() || text[colon] != ':') {
        return std::nullopt;
    }
    const std::string scheme = lowerAscii(std::string_view(text).substr(0, colon));
    const bool special = isSpecialScheme(scheme);
    std::string_view rest = std::string_view(text).substr(colon + 1);
    std::string out = scheme + ":";

    auto isSlash = [special](char c) { return c == '/' || (special && c == '\\'); };
    bool hasAuthority = false;
    if (special && scheme != "file") {
        // Special addresses always have a host, however many slashes (or backslashes) lead it.
        while (!rest.empty() && isSlash(rest.front())) {
            rest.remove_prefix(1);
        }
        hasAuthority = true;
    } else if (rest.size() >= 2 && isSlash(rest[0]) && isSlash(rest[1])) {
        rest.remove_prefix(2);
        hasAuthority = true;
    }
    if (hasAuthority) {
        std::size_t end = 0;
        while (end < rest.size() && !isSlash(rest[end]) && rest[end] != '?' && rest[end] != '#') {
            ++end;
        }
        std::string_view authority = rest.substr(0, end);
        rest.remove_prefix(end);
        out += "//";
        if (const std::size_t at = authority.rfind('@'); at != npos) {
            appendEncoded(out, authority.substr(0, at), Part::userinfo);
            out += '@';
            authority.remove_prefix(at + 1);
        }
        std::string_view host = authority;
        std::string_view port;
        if (authority.starts_with('[')) {
            const std::size_t close = authority.find(']');
            host = authority.substr(0, close == npos ? authority.size() : close + 1);
            const std::string_view after = authority.substr(host.size());
            if (after.starts_with(':')) {
                port = after.substr(1);
            }
            out += host;  // an IP literal: Boost.URL checks it
        } else {
            if (const std::size_t portColon = authority.find(':'); portColon != npos) {
                host = authority.substr(0, portColon);
                port = authority.substr(portColon + 1);
            }
            appendEncoded(out, host, Part::host);
        }
        bool numericPort = true;
        for (char c : port) {
            numericPort = numericPort && isDigit(c);
        }
        if (!port.empty() && numericPort) {
            out += ':';
            out += port;
        }
    }
    // Path, query and fragment. Special addresses take a backslash before the query for a slash.
    std::string tail(rest);
    if (special) {
        const std::size_t stop = tail.find_first_of("?#");
        for (std::size_t i = 0; i < tail.size() && i < stop; ++i) {
            if (tail[i] == '\\') {
                tail[i] = '/';
            }
        }
    }
    if (hasAuthority && !tail.empty() && tail.front() != '/' && tail.front() != '?' &&
        tail.front() != '#') {
        out += '/';
    }
    appendEncoded(out, tail, Part::rest);
    return out;
}

PageAddress readPageAddress(std::string_view text) {
    PageAddress address;
    address.text = text;
    if (const std::optional<std::string> form = rfc3986Form(text)) {
        const auto parsed = boost::urls::parse_uri(*form);
        address.valid = true;
        if (parsed.has_value() && parsed->has_authority()) {
            std::string host;
            switch (parsed->host_type()) {
                case boost::urls::host_type::ipv6:
                    host = parsed->host_ipv6_address().to_string();
                    break;
                case boost::urls::host_type::name:
                    host = asciiHost(parsed->host_address());
                    if (hasForbiddenHostCharacter(host)) {
                        address.valid = false;  // a browser refuses such an address
                        host.clear();
                    }
                    break;
                default:
                    host = lowerAscii(parsed->host_address());
                    break;
            }
            if (!host.empty()) {
                address.host = std::move(host);
            }
        }
    }
    address.matchBuffer = text::replaceInvalidUtf8(text);
    address.matchBuffer += '/';
    return address;
}

bool isPageWrittenFrame(std::string_view text) {
    for (std::string_view page :
         {std::string_view("about:blank"), std::string_view("about:srcdoc")}) {
        if (text.starts_with(page) &&
            (text.size() == page.size() || text[page.size()] == '?' || text[page.size()] == '#')) {
            return true;
        }
    }
    return false;
}

}  // namespace orlavine
