#include "extension/json_escape.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orlavine {
namespace {

constexpr char kHex[] = "0123456789abcdef";
// Enough room for the fast loop to start.
constexpr std::size_t kSlack = 16 * 6 + 16 + 8;

bool needsEscape(unsigned char c) {
    return c < 0x20 || c == '"' || c == '\\';
}

// Writes the escape of one byte that needs one; returns its length (2 or 6).
std::size_t writeEscape(unsigned char c, char* into) {
    into[0] = '\\';
    switch (c) {
        case '"':
            into[1] = '"';
            return 2;
        case '\\':
            into[1] = '\\';
            return 2;
        case '\b':
            into[1] = 'b';
            return 2;
        case '\t':
            into[1] = 't';
            return 2;
        case '\n':
            into[1] = 'n';
            return 2;
        case '\f':
            into[1] = 'f';
            return 2;
        case '\r':
            into[1] = 'r';
            return 2;
        default:
            std::memcpy(into + 1, "u00", 3);
            into[4] = kHex[c >> 4];
            into[5] = kHex[c & 15];
            return 6;
    }
}

// The escape of every byte, eight bytes each so that one store writes it (the bytes after
// `length` are overwritten or cut off later).
struct Escape {
    char text[7];
    unsigned char length;
};
struct EscapeTable {
    Escape entries[256];
};
EscapeTable makeEscapeTable() {
    EscapeTable table{};
    for (unsigned c = 0; c < 256; ++c) {
        if (needsEscape(static_cast<unsigned char>(c))) {
            table.entries[c].length = static_cast<unsigned char>(
                writeEscape(static_cast<unsigned char>(c), table.entries[c].text));
        } else {
            table.entries[c].text[0] = static_cast<char>(c);
            table.entries[c].length = 1;
        }
    }
    return table;
}
const EscapeTable kEscapes = makeEscapeTable();

// Each byte escaped, and its escape escaped again (at most 7 bytes: \u00xx becomes \\u00xx).
EscapeTable makeTwiceEscapeTable() {
    EscapeTable table{};
    for (unsigned c = 0; c < 256; ++c) {
        const Escape& once = kEscapes.entries[c];
        Escape& twice = table.entries[c];
        for (unsigned i = 0; i < once.length; ++i) {
            const Escape& again = kEscapes.entries[static_cast<unsigned char>(once.text[i])];
            std::memcpy(twice.text + twice.length, again.text, again.length);
            twice.length = static_cast<unsigned char>(twice.length + again.length);
        }
    }
    return table;
}
const EscapeTable kTwiceEscapes = makeTwiceEscapeTable();

#if defined(__SSE2__)
// Room one block of 16 bytes may need: every byte escaped to 7, plus the stores past the end.
constexpr std::ptrdiff_t kBlockRoom = 16 * 7 + 16 + 8;

// The bytes of a block that need an escape, one bit each.
unsigned specialsIn(__m128i bytes) {
    const __m128i hits =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')),
                                  _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))),
                     _mm_cmpeq_epi8(_mm_max_epu8(bytes, _mm_set1_epi8(0x1F)), _mm_set1_epi8(0x1F)));
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
}
#endif

// Escapes from `in` into `out` with `table` until the text ends or the next piece would pass
// `outLimit`; advances both. A byte the table changes is one that needs an escape.
void escapeInto(const char*& inRef, const char* inEnd, char*& outRef, const char* outLimit,
                const EscapeTable& table) {
    // Locals, not the references: stores of chars could alias them and pin them to memory.
    const char* in = inRef;
    char* out = outRef;
#if defined(__SSE2__)
    // Sixteen bytes at a time: the run before each escape is copied with one 16-byte store,
    // whatever its length, and the escape with one 8-byte store. Loads may look 16 bytes ahead.
    while (inEnd - in >= 32 && outLimit - out >= kBlockRoom) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        unsigned mask = specialsIn(block);
        if (mask == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
            in += 16;
            out += 16;
            continue;
        }
        int from = 0;
        do {
            const int at = __builtin_ctz(mask);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + from)));
            out += at - from;
            const Escape& escape = table.entries[static_cast<unsigned char>(in[at])];
            std::memcpy(out, &escape, sizeof escape);
            out += escape.length;
            from = at + 1;
            mask &= mask - 1;
        } while (mask != 0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + from)));
        out += 16 - from;
        in += 16;
    }
#endif
    while (in < inEnd) {
        const auto c = static_cast<unsigned char>(*in);
        if (needsEscape(c)) {
            const Escape& escape = table.entries[c];
            if (static_cast<std::size_t>(outLimit - out) < escape.length) {
                break;
            }
            std::memcpy(out, escape.text, escape.length);
            out += escape.length;
        } else {
            if (out == outLimit) {
                break;
            }
            *out++ = static_cast<char>(c);
        }
        ++in;
    }
    inRef = in;
    outRef = out;
}

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The output grows a chunk at a time, so that each zeroed chunk is still in the cache when it is
// written over.
constexpr std::size_t kChunk = std::size_t{64} * 1024;

// Escapes from `in` into the end of `out`, at most `budget` bytes; returns how many it wrote.
std::size_t escapeAppending(const char*& in, const char* inEnd, std::string& out,
                            std::size_t budget, const EscapeTable& table = kEscapes) {
    std::size_t used = out.size();
    std::size_t left = budget;
    for (;;) {
        const std::size_t room = std::min(left, kChunk);
        out.resize(used + room);
        char* const start = out.data() + used;
        char* at = start;
        escapeInto(in, inEnd, at, start + room, table);
        const auto written = static_cast<std::size_t>(at - start);
        used += written;
        left -= written;
        if (in == inEnd || room < kChunk) {
            break;
        }
    }
    out.resize(used);
    return budget - left;
}

// Escapes the longest start of `text` that fits in `budget` and ends on a whole character.
std::size_t appendWithin(std::string& out, std::string_view text, std::size_t budget,
                         const EscapeTable& table) {
    const char* in = text.data();
    const char* const inEnd = in + text.size();
    escapeAppending(in, inEnd, out, budget, table);
    if (in < inEnd && isContinuation(*in)) {
        // Out of room inside a UTF-8 sequence: end before its lead byte (the bytes given back
        // were copied as they are, since escapes are ASCII).
        std::size_t back = 0;
        while (back < 3 && in - back > text.data() && isContinuation(*(in - back))) {
            ++back;
        }
        const auto lead = static_cast<unsigned char>(*(in - back));
        if (lead >= 0xC0 && in - back > text.data()) {
            in -= back;
            out.resize(out.size() - back);
        }
    }
    return static_cast<std::size_t>(in - text.data());
}

}  // namespace

std::size_t appendEscapedWithin(std::string& out, std::string_view text, std::size_t budget) {
    return appendWithin(out, text, budget, kEscapes);
}

std::size_t appendTwiceEscapedWithin(std::string& out, std::string_view text, std::size_t budget) {
    return appendWithin(out, text, budget, kTwiceEscapes);
}

void appendJsonString(std::string& out, std::string_view text) {
    out.reserve(out.size() + text.size() + text.size() / 8 + kSlack + 2);
    out += '"';
    const char* in = text.data();
    const char* const inEnd = in + text.size();
    while (in < inEnd) {
        escapeAppending(in, inEnd, out, std::max(kChunk, kSlack));
    }
    out += '"';
}

}  // namespace orlavine
