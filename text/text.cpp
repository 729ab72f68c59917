#include "text/text.h"

#include <cstdint>

namespace orlavine::text {
namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes the code point at s[i]; `length` receives its size. Malformed sequences give kInvalid
// with a length of 1.
char32_t decodeAt(std::string_view s, std::size_t i, std::size_t& length) {
    const auto lead = static_cast<unsigned char>(s[i]);
    length = 1;
    if (lead < 0x80) {
        return lead;
    }
    std::size_t need = 0;
    char32_t cp = 0;
    char32_t lowest = 0;
    if ((lead & 0xE0) == 0xC0) {
        need = 1;
        cp = lead & 0x1F;
        lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        need = 2;
        cp = lead & 0x0F;
        lowest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        need = 3;
        cp = lead & 0x07;
        lowest = 0x10000;
    } else {
        return kInvalid;
    }
    if (i + need >= s.size()) {
        return kInvalid;
    }
    for (std::size_t k = 1; k <= need; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) {
            return kInvalid;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return kInvalid;
    }
    length = need + 1;
    return cp;
}

bool isSpaceOrLineBreak(char32_t c) {
    switch (c) {
        case 0x09:
        case 0x0A:
        case 0x0B:
        case 0x0C:
        case 0x0D:
        case 0x20:
        case 0x85:
        case 0xA0:
        case 0x1680:
        case 0x2028:
        case 0x2029:
        case 0x202F:
        case 0x205F:
        case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

}  // namespace

std::string_view trimmed(std::string_view s) {
    std::size_t begin = 0;
    while (begin < s.size()) {
        std::size_t length = 0;
        const char32_t c = decodeAt(s, begin, length);
        if (c == kInvalid || !isSpaceOrLineBreak(c)) {
            break;
        }
        begin += length;
    }
    std::size_t end = s.size();
    while (end > begin) {
        // Step back to the first byte of the last code point.
        std::size_t start = end - 1;
        while (start > begin && end - start < 4 &&
               (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) {
            --start;
        }
        std::size_t length = 0;
        const char32_t c = decodeAt(s, start, length);
        if (c == kInvalid || start + length != end || !isSpaceOrLineBreak(c)) {
            break;
        }
        end = start;
    }
    return s.substr(begin, end - begin);
}

std::string replaceAll(std::string_view s, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(s.size());
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = s.find(from, pos);
        if (hit == std::string_view::npos) {
            break;
        }
        out.append(s.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(s.substr(pos));
    return out;
}

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string joinLineEnds(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t pos = 0;
    for (std::size_t cr = s.find('\r'); cr != std::string_view::npos; cr = s.find('\r', pos)) {
        out.append(s.substr(pos, cr - pos));
        out += '\n';
        pos = cr + 1;
        if (pos < s.size() && s[pos] == '\n') {
            ++pos;
        }
    }
    out.append(s.substr(pos));
    return out;
}

std::string crToLf(std::string_view s) {
    std::string out(s);
    for (std::size_t cr = out.find('\r'); cr != std::string::npos; cr = out.find('\r', cr + 1)) {
        out[cr] = '\n';
    }
    return out;
}

std::size_t countOccurrences(std::string_view s, std::string_view part) {
    std::size_t n = 0;
    for (std::size_t pos = s.find(part); pos != std::string_view::npos;
         pos = s.find(part, pos + part.size())) {
        ++n;
    }
    return n;
}

std::size_t codePointLength(std::string_view s, std::size_t i) {
    if (i >= s.size()) {
        return 0;
    }
    std::size_t length = 0;
    decodeAt(s, i, length);
    return length;
}

std::string forTerminal(std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if (byte < 0x20 || byte == 0x7f) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
            ++i;
            continue;
        }
        const std::string_view rest = s.substr(i);
        std::size_t length = byte < 0x80 ? 1 : 0;
        if (length == 0) {
            for (std::size_t n = 2; n <= 4 && n <= rest.size() && length == 0; ++n) {
                if (isValidUtf8(rest.substr(0, n))) {
                    length = n;
                }
            }
        }
        if (length == 0) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
            ++i;
        } else if (length == 2 && byte == 0xc2 && static_cast<unsigned char>(rest[1]) < 0xa0) {
            const auto c1 = static_cast<unsigned char>(rest[1]);  // U+0080..U+009F
            out += "\\u00";
            out += kHex[c1 >> 4];
            out += kHex[c1 & 15];
            i += 2;
        } else {
            out.append(rest.substr(0, length));
            i += length;
        }
    }
    return out;
}

}  // namespace orlavine::text
