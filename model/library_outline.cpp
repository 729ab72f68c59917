#include "model/library_outline.h"

#include "text/text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <system_error>
#include <thread>
#include <utility>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <boost/json/parse.hpp>

#include "model/record_json.h"
#include "model/record_json_detail.h"

namespace orlavine {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::size_t skipSpace(std::string_view text, std::size_t i) {
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
    return i;
}

// Whether the quote at `i` is not escaped: an even number of backslashes stands before it.
bool unescapedAt(std::string_view text, std::size_t i) {
    std::size_t backslashes = 0;
    while (backslashes < i && text[i - backslashes - 1] == '\\') {
        ++backslashes;
    }
    return backslashes % 2 == 0;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The four hex digits at `i`, or -1.
int hex4(std::string_view text, std::size_t i) {
    if (text.size() - i < 4) {
        return -1;
    }
    int value = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        const int digit = hexValue(text[i + k]);
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

// Length of the escape at `i` (just after its backslash), or 0 when it is not one this reader
// takes: a lone surrogate is left to the full decoder.
std::size_t escapeLength(std::string_view text, std::size_t i) {
    if (i >= text.size()) {
        return 0;
    }
    switch (text[i]) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            return 1;
        case 'u':
            break;
        default:
            return 0;
    }
    const int unit = hex4(text, i + 1);
    if (unit < 0 || (unit >= 0xdc00 && unit <= 0xdfff)) {
        return 0;
    }
    if (unit < 0xd800 || unit > 0xdbff) {
        return 5;
    }
    if (i + 6 >= text.size() || text[i + 5] != '\\' || text[i + 6] != 'u') {
        return 0;
    }
    const int low = hex4(text, i + 7);
    return low >= 0xdc00 && low <= 0xdfff ? 11 : 0;
}

// The escapes that stand for one character: all but \u.
constexpr std::array<bool, 256> kShortEscapes = [] {
    std::array<bool, 256> table{};
    for (const unsigned char c : std::string_view("\"\\/bfnrt")) {
        table[c] = true;
    }
    return table;
}();

#ifdef __SSE2__
// One bit for each byte equal to `c` among the 64 bytes at `p`.
std::uint64_t bytesEqual(const char* p, char c) {
    const __m128i wanted = _mm_set1_epi8(c);
    std::uint64_t mask = 0;
    for (std::size_t k = 0; k < 64; k += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        const auto bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
        mask |= static_cast<std::uint64_t>(bits) << k;
    }
    return mask;
}

// Of 64 bytes with backslashes at `backslashes`, the bytes that a backslash escapes. `carry` is
// 1 when the block's first byte is escaped by the previous block's last backslash, and is set
// for the next block. A run of backslashes escapes every second byte from its start, so the run
// ends in an escape when it starts on an odd bit and is of odd length, and the other way round.
std::uint64_t escapedBytes(std::uint64_t backslashes, std::uint64_t& carry) {
    constexpr std::uint64_t kEvenBits = 0x5555555555555555ULL;
    backslashes &= ~carry;
    const std::uint64_t followsEscape = backslashes << 1 | carry;
    const std::uint64_t oddStarts = backslashes & ~kEvenBits & ~followsEscape;
    std::uint64_t evenEnds = 0;
    carry = __builtin_add_overflow(oddStarts, backslashes, &evenEnds) ? 1 : 0;
    return (kEvenBits ^ (evenEnds << 1)) & followsEscape;
}
#endif

// The closing quote of the string whose content starts at `i`, without checking the content:
// the first quote that no backslash escapes. kNone when there is none.
std::size_t uncheckedStringEnd(std::string_view text, std::size_t i) {
    const std::size_t size = text.size();
#ifdef __SSE2__
    std::uint64_t carry = 0;
    for (; size - i >= 64; i += 64) {
        const std::uint64_t escaped = escapedBytes(bytesEqual(text.data() + i, '\\'), carry);
        const std::uint64_t ends = bytesEqual(text.data() + i, '"') & ~escaped;
        if (ends != 0) {
            return i + static_cast<std::size_t>(std::countr_zero(ends));
        }
    }
    i += carry;
#endif
    while (i < size) {
        if (text[i] == '"') {
            return i;
        }
        i += text[i] == '\\' ? 2 : 1;
    }
    return kNone;
}

// Where the character at `at` (a backslash or a non-ASCII byte) ends, or kNone when it is not
// one the decoder takes the same way.
std::size_t afterSpecial(std::string_view text, std::size_t at) {
    const auto c = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    if (c == '\\') {
        if (at + 1 < text.size() && kShortEscapes[static_cast<unsigned char>(text[at + 1])]) {
            return at + 2;
        }
        length = escapeLength(text, at + 1);
        return length == 0 ? kNone : at + 1 + length;
    }
    if (c < 0x80) {
        return kNone;  // a control character
    }
    length = text::utf8SequenceLength(text.substr(at));
    return length == 0 ? kNone : at + length;
}

#ifdef __SSE2__
// Of the 64 bytes at `p`, those that checking a string's content looks at, one bit for each.
struct StringBlock {
    std::uint64_t backslashes = 0;
    std::uint64_t quotes = 0;
    std::uint64_t ntr = 0;  // 'n', 't', 'r': with quotes and backslashes, what code mostly escapes
    std::uint64_t others = 0;  // control characters and non-ASCII bytes
};

StringBlock stringBlock(const char* p) {
    StringBlock block;
    for (std::size_t k = 0; k < 64; k += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        const auto bits = [k](__m128i marked) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(marked)))
                   << k;
        };
        block.backslashes |= bits(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\')));
        block.quotes |= bits(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')));
        block.ntr |= bits(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('n')),
                                       _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('t')),
                                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8('r')))));
        // As signed bytes, control characters and non-ASCII bytes are those below 0x20.
        block.others |= bits(_mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20)));
    }
    return block;
}
#endif

// The closing quote of the string whose content starts at `i` when the content is JSON the
// decoder takes the same way, else kNone.
std::size_t checkedStringEnd(std::string_view text, std::size_t i) {
    const std::size_t size = text.size();
#ifdef __SSE2__
    // 64 bytes at a time. The escaped bytes (from the backslashes) give the closing quote; before
    // it, the bytes read one by one are the escapes other than \n, \t, \r, \" and \\ (rare in style
    // code), control characters and non-ASCII characters. A \u escape or a UTF-8 sequence is
    // made only of bytes that do not change what the masks find (hex digits, a second \u,
    // continuation bytes), and it may run on past its block: `checkedTo` is where the last
    // one ends.
    std::uint64_t carry = 0;
    std::size_t checkedTo = i;
    for (; size - i >= 64; i += 64) {
        const StringBlock block = stringBlock(text.data() + i);
        const std::uint64_t escaped = escapedBytes(block.backslashes, carry);
        const std::uint64_t ends = block.quotes & ~escaped;
        const std::uint64_t beforeEnd = ends == 0 ? ~std::uint64_t{0} : (ends & (0 - ends)) - 1;
        const std::uint64_t plainEscapes = block.backslashes | block.quotes | block.ntr;
        std::uint64_t slow = ((escaped & ~plainEscapes) | block.others) & beforeEnd;
        if (checkedTo > i) {
            slow = checkedTo - i >= 64 ? 0 : slow & ~std::uint64_t{0} << (checkedTo - i);
        }
        while (slow != 0) {
            const auto bit = static_cast<unsigned>(std::countr_zero(slow));
            const std::size_t at = i + bit;
            const auto c = static_cast<unsigned char>(text[at]);
            std::size_t length = 0;  // left so for a control character
            if ((escaped >> bit & 1) != 0) {
                length = escapeLength(text, at);
            } else if (c >= 0x80) {
                // The whole run of non-ASCII characters, which may go on past this block.
                std::size_t end = at;
                while (end < size && static_cast<unsigned char>(text[end]) >= 0x80) {
                    const std::size_t sequence = text::utf8SequenceLength(text.substr(end));
                    if (sequence == 0) {
                        return kNone;
                    }
                    end += sequence;
                }
                length = end - at;
            }
            if (length == 0) {
                return kNone;
            }
            checkedTo = at + length;
            if (checkedTo - i >= 64) {
                break;
            }
            slow &= ~std::uint64_t{0} << (checkedTo - i);
        }
        if (ends != 0) {
            return i + static_cast<std::size_t>(std::countr_zero(ends));
        }
    }
    // An escape that the last block's backslash began is read again from that backslash.
    i = std::max(carry != 0 ? i - 1 : i, checkedTo);
#endif
    while (i < size) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"') {
            return i;
        }
        if (c == '\\' || c < 0x20 || c >= 0x80) {
            i = afterSpecial(text, i);
            if (i == kNone) {
                return kNone;
            }
        } else {
            ++i;
        }
    }
    return kNone;
}

// Writes `c` as UTF-8 at `out`; returns the end.
char* putUtf8(char* out, std::uint32_t c) {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xc0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xe0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        *out++ = static_cast<char>(0x80 | (c & 0x3f));
    } else {
        *out++ = static_cast<char>(0xf0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3f));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        *out++ = static_cast<char>(0x80 | (c & 0x3f));
    }
    return out;
}

// What each one-character escape stands for.
constexpr std::array<char, 256> kEscaped = [] {
    std::array<char, 256> table{};
    table['"'] = '"';
    table['\\'] = '\\';
    table['/'] = '/';
    table['b'] = '\b';
    table['f'] = '\f';
    table['n'] = '\n';
    table['r'] = '\r';
    table['t'] = '\t';
    return table;
}();

// The text of a string content that checkedStringEnd() took. Text is never longer than its
// escaped form, so it is written straight into a string of the piece's size.
std::string unescape(std::string_view piece) {
    std::string out(piece.size(), '\0');
    char* w = out.data();
    const char* p = piece.data();
    const char* const end = p + piece.size();
    while (p < end) {
        const auto* slash =
            static_cast<const char*>(std::memchr(p, '\\', static_cast<std::size_t>(end - p)));
        if (slash == nullptr || end - slash < 2) {
            std::memcpy(w, p, static_cast<std::size_t>(end - p));
            w += end - p;
            break;
        }
        std::memcpy(w, p, static_cast<std::size_t>(slash - p));
        w += slash - p;
        const auto kind = static_cast<unsigned char>(slash[1]);
        p = slash + 2;
        if (kind != 'u') {
            *w++ = kEscaped[kind];
            continue;
        }
        const std::size_t at = static_cast<std::size_t>(p - piece.data());
        auto unit = static_cast<std::uint32_t>(hex4(piece, at));
        p += 4;
        if (unit >= 0xd800 && unit <= 0xdbff) {
            const auto low = static_cast<std::uint32_t>(hex4(piece, at + 6));
            unit = 0x10000 + ((unit - 0xd800) << 10) + (low - 0xdc00);
            p += 6;
        }
        w = putUtf8(w, unit);
    }
    out.resize(static_cast<std::size_t>(w - out.data()));
    return out;
}

// The skeleton of a library text, or of a stretch of it: the text with every code string that
// follows a "code" or "compiledcode" key replaced by its place among the pieces. Up to the first
// replacement it is the same text, and each replacement puts a number where a well-formed
// string stood, so the skeleton is valid JSON exactly when the text is, and decodes to the same
// records but for the code. It is never put together: the decoder reads the runs of text
// between the code strings.
struct Skeleton {
    std::vector<std::string_view> runs;
    std::vector<std::string_view> pieces;  // the code strings' contents
};

// Finds the code strings whose keys lie in text[from, until), adding them and the runs before
// them to `out`. Returns where the run after the last one begins (past `until` when a code
// string reaches over it), or kNone for a code member the outline does not take.
//
// The keys are found by their ending `code"`: within a string a quote is escaped, so those
// bytes end a string. It is a key when an unescaped quote opens it (else, in a valid text,
// it is inside or the end of another string) and a colon follows; in a text that is not
// valid up to there, the skeleton is not valid either.
std::size_t scanCode(std::string_view text, std::size_t from, std::size_t until,
                     LibraryOutline::CodeCheck check, Skeleton& out) {
    std::size_t copied = from;
    std::size_t i = from;
    constexpr std::string_view kEnding = "code\"";
    while (i < until) {
        const void* found = ::memmem(text.data() + i, until - i, kEnding.data(), kEnding.size());
        if (found == nullptr) {
            break;
        }
        const std::size_t code =
            static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
        i = code + kEnding.size();
        std::size_t open = kNone;
        if (code >= 1 && text[code - 1] == '"') {
            open = code - 1;
        } else if (code >= 9 && text.substr(code - 9, 9) == "\"compiled") {
            open = code - 9;
        }
        if (open == kNone || !unescapedAt(text, open)) {
            continue;
        }
        const std::size_t colon = skipSpace(text, i);
        if (colon >= text.size() || text[colon] != ':') {
            continue;
        }
        const std::size_t value = skipSpace(text, colon + 1);
        if (value >= text.size() || text[value] != '"') {
            return kNone;  // code that is no string: the full decoder says what is wrong
        }
        const std::size_t valueEnd = check == LibraryOutline::CodeCheck::onRead
                                         ? checkedStringEnd(text, value + 1)
                                         : uncheckedStringEnd(text, value + 1);
        if (valueEnd == kNone) {
            return kNone;
        }
        out.runs.push_back(text.substr(copied, value - copied));
        out.pieces.push_back(text.substr(value + 1, valueEnd - value - 1));
        copied = valueEnd + 1;
        i = copied;
    }
    return copied;
}

// Texts from this size on are read on two threads, where there are two cores; below it the
// second thread costs more than it saves.
constexpr std::size_t kTwoThreadBytes = std::size_t{4} * 1024 * 1024;

// The comma of the first `},{"uniqueID":` from the middle of a large text on: where it may be
// cut between two styles (the encoder writes uniqueID first). kNone for a smaller text or
// where there is none. Only a guess, which reading the text before it confirms.
std::size_t cutNearMiddle(std::string_view text) {
    if (text.size() < kTwoThreadBytes) {
        return kNone;
    }
    constexpr std::string_view kNextStyle = R"(},{"uniqueID":)";
    const std::size_t found = text.find(kNextStyle, text.size() / 2);
    return found == kNone ? kNone : found + 1;
}

// Adds `by` to the code places of `style`'s sections.
void shiftPlaces(styleContainer& style, std::size_t by) {
    const auto shift = [by](std::string& field) {
        field = std::to_string(LibraryOutline::placeOf(field).value_or(0) + by);
    };
    const auto shiftAll = [&](std::vector<styleSection>& sections) {
        for (styleSection& section : sections) {
            shift(section.code);
            if (section.compiledcode) {
                shift(*section.compiledcode);
            }
        }
    };
    shiftAll(style.styleData.sections);
    if (style.styleData.compSections) {
        shiftAll(*style.styleData.compSections);
    }
}

// The skeleton and records of the text after the comma at `cut`, as if the library began
// there: its code places count from 0.
bool readTail(std::string_view text, std::size_t cut, LibraryOutline::CodeCheck check,
              Skeleton& tail, styleDatabase& db) {
    try {
        const std::size_t copied = scanCode(text, cut + 1, text.size(), check, tail);
        if (copied == kNone) {
            return false;
        }
        tail.runs.push_back(text.substr(copied));
        return detail::decodeDatabaseSkeleton(tail.runs, db, detail::SkeletonPart::tail);
    } catch (...) {  // out of memory: the one-thread reading has the last word
        return false;
    }
}

// Reads a large text on two threads, cut at the comma `cut`: a second thread reads the text
// after it while this one reads the text before. The two give what reading the whole text
// does when the head ends between two styles, with no library member but the styles before
// them and no code string reaching over the cut: reading the whole text then stands after the
// comma just as reading the tail does after `{"styles":[`. False when it is not so, or when
// either part is not taken; the whole text is then read on one thread, which decides.
bool readInTwo(std::string_view text, std::size_t cut, LibraryOutline::CodeCheck check,
               std::vector<std::string_view>& pieces, styleDatabase& db) {
    Skeleton tail;
    styleDatabase rest;
    bool tailRead = false;
    {
        std::jthread second;
        try {
            second = std::jthread([&] { tailRead = readTail(text, cut, check, tail, rest); });
        } catch (const std::system_error&) {
            return false;
        }
        Skeleton head;
        const std::size_t copied = scanCode(text, 0, cut, check, head);
        if (copied > cut) {  // kNone too
            return false;
        }
        head.runs.push_back(text.substr(copied, cut - copied));
        if (!detail::decodeDatabaseSkeleton(head.runs, db, detail::SkeletonPart::head)) {
            return false;
        }
        pieces = std::move(head.pieces);
    }  // joins the second thread
    if (!tailRead) {
        return false;
    }
    for (styleContainer& style : rest.styles) {
        shiftPlaces(style, pieces.size());
    }
    pieces.insert(pieces.end(), tail.pieces.begin(), tail.pieces.end());
    db.styles.insert(db.styles.end(), std::make_move_iterator(rest.styles.begin()),
                     std::make_move_iterator(rest.styles.end()));
    // The library's members after its styles.
    db.randomHash = rest.randomHash;
    db.dateModified = rest.dateModified;
    return true;
}

}  // namespace

std::optional<std::pair<LibraryOutline, styleDatabase>> LibraryOutline::read(
    std::shared_ptr<const std::string> shared, CodeCheck check) {
    if (!shared || shared->size() > kMaxDatabaseBytes) {
        return std::nullopt;
    }
    const std::string_view text = *shared;
    LibraryOutline outline;
    styleDatabase db;
    const std::size_t cut = cutNearMiddle(text);
    if (cut == kNone || std::thread::hardware_concurrency() < 2 ||
        !readInTwo(text, cut, check, outline.pieces_, db)) {
        Skeleton skeleton;
        const std::size_t copied = scanCode(text, 0, text.size(), check, skeleton);
        if (copied == kNone) {
            return std::nullopt;
        }
        skeleton.runs.push_back(text.substr(copied));
        db = styleDatabase();
        if (!detail::decodeDatabaseSkeleton(skeleton.runs, db)) {
            return std::nullopt;
        }
        outline.pieces_ = std::move(skeleton.pieces);
    }
    outline.text_ = std::move(shared);
    outline.checked_ = check == CodeCheck::onRead;
    outline.readable_ = outline.checked_;
    return std::pair<LibraryOutline, styleDatabase>(std::move(outline), std::move(db));
}

std::optional<LibraryOutline> LibraryOutline::fromIndex(std::shared_ptr<const std::string> text,
                                                        const std::vector<CodeSpan>& spans) {
    if (!text) {
        return std::nullopt;
    }
    LibraryOutline outline;
    outline.pieces_.reserve(spans.size());
    std::uint64_t after = 0;  // spans follow one another through the text
    for (const CodeSpan& span : spans) {
        const std::uint64_t end = span.offset + span.length;
        if (span.offset < after + 1 || end >= text->size() || (*text)[span.offset - 1] != '"' ||
            (*text)[end] != '"') {
            return std::nullopt;
        }
        outline.pieces_.emplace_back(text->data() + span.offset, span.length);
        after = end + 1;
    }
    outline.text_ = std::move(text);
    outline.checked_ = false;  // decoded with the decoder's own fallbacks
    outline.readable_ = true;
    return outline;
}

std::optional<std::size_t> LibraryOutline::placeOf(std::string_view field) {
    std::size_t n = 0;
    const auto parsed = std::from_chars(field.data(), field.data() + field.size(), n);
    if (parsed.ec != std::errc() || parsed.ptr != field.data() + field.size()) {
        return std::nullopt;
    }
    return n;
}

namespace {

// What the quick check leaves open (lone surrogate escapes, say), the decoder's own parser
// decides, so a text it takes reads the same as there.
std::optional<std::string> parseStored(std::string_view quoted) {
    const std::string whole = "\"" + std::string(quoted);
    boost::system::error_code ec;
    const boost::json::value value = boost::json::parse(whole, ec);
    if (ec || !value.is_string()) {
        return std::nullopt;
    }
    return std::string(value.get_string());
}

}  // namespace

std::optional<std::string> LibraryOutline::decodeStored(std::string_view quoted) {
    if (quoted.empty() || quoted.back() != '"') {
        return std::nullopt;
    }
    if (checkedStringEnd(quoted, 0) == quoted.size() - 1) {
        return unescape(quoted.substr(0, quoted.size() - 1));
    }
    return parseStored(quoted);
}

bool LibraryOutline::readsBack(std::string_view quoted) {
    return !quoted.empty() && quoted.back() == '"' &&
           (checkedStringEnd(quoted, 0) == quoted.size() - 1 || parseStored(quoted));
}

std::string LibraryOutline::decodePiece(const std::string& place) const {
    const auto n = placeOf(place);
    if (!n || *n >= pieces_.size()) {
        return {};  // not a place of this outline: never made by read()
    }
    if (checked_) {
        return unescape(pieces_[*n]);
    }
    return decodeStored(quoted(pieces_[*n])).value_or(std::string());
}

std::string_view LibraryOutline::quoted(std::string_view stored) {
    return {stored.data(), stored.size() + 1};  // every piece is followed by its closing quote
}

void LibraryOutline::decodeCode(styleContainer& style) const {
    const auto decode = [this](std::vector<styleSection>& sections) {
        for (styleSection& section : sections) {
            section.code = decodePiece(section.code);
            if (section.compiledcode) {
                *section.compiledcode = decodePiece(*section.compiledcode);
            }
        }
    };
    decode(style.styleData.sections);
    if (style.styleData.compSections) {
        decode(*style.styleData.compSections);
    }
}

void LibraryOutline::decodeCode(styleDatabase& db) const {
    for (styleContainer& style : db.styles) {
        decodeCode(style);
    }
}

std::string LibraryOutline::encode(const styleDatabase& db) const {
    const std::size_t sizeHint = text_ ? text_->size() + text_->size() / 64 : 0;
    if (readable_) {
        return detail::encodeDatabase(db, sizeHint, &pieces_);
    }
    std::vector<std::string_view> pieces = pieces_;
    for (std::string_view& piece : pieces) {
        if (!decodeStored(quoted(piece))) {
            piece = {};  // as decodeCode() gives it
        }
    }
    return detail::encodeDatabase(db, sizeHint, &pieces);
}

}  // namespace orlavine
