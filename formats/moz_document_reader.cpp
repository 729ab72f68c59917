#include "formats/moz_document_reader.h"

#include <algorithm>
#include <array>
#include <utility>

#include "text/text.h"

namespace orlavine {
namespace {

constexpr std::size_t npos = std::string_view::npos;

styleSection sectionWithoutRules(std::string code) {
    styleSection s;
    s.code = std::move(code);
    return s;
}

// The earliest of " {", "){" and a line end directly followed by "{". Each search stops where
// an earlier one already found a match.
std::size_t findHeaderEnd(std::string_view chunk) {
    std::size_t end = chunk.find(" {");
    const std::size_t paren = chunk.substr(0, end == npos ? npos : end + 1).find("){");
    end = std::min(end, paren);
    for (std::size_t i = 0; i + 1 < chunk.size() && i < end; ++i) {
        if ((chunk[i] == '\n' || chunk[i] == '\r') && chunk[i + 1] == '{') {
            end = i;
            break;
        }
    }
    return end;
}

// The bytes that brace matching looks at; every other byte is skipped.
constexpr std::array<bool, 256> kBraceScanStops = [] {
    std::array<bool, 256> stops{};
    for (const char c : {'/', '\n', '\r', '{', '}'}) {
        stops[static_cast<unsigned char>(c)] = true;
    }
    return stops;
}();

// Walks the chunk counting braces outside comments from the header end on; returns the
// position of the brace that closes the block, or npos.
std::size_t findClosingBrace(std::string_view chunk, std::size_t headerEnd) {
    std::size_t opening = 0;
    std::size_t closing = 0;
    bool inBlockComment = false;
    bool inLineComment = false;
    const std::size_t n = chunk.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = chunk[i];
        if (!kBraceScanStops[static_cast<unsigned char>(c)]) {
            continue;
        }
        if (c == '/') {
            if (inBlockComment && i > 0 && chunk[i - 1] == '*') {
                inBlockComment = false;
            }
            if (i + 1 < n && chunk[i + 1] == '*') {
                inBlockComment = true;
            }
            if (i + 1 < n && chunk[i + 1] == '/' && i >= headerEnd) {
                inLineComment = true;
            }
            continue;
        }
        if (c == '\n' || c == '\r') {
            inLineComment = false;
            continue;
        }
        if (inBlockComment || inLineComment || i < headerEnd) {
            continue;
        }
        if (c == '{') {
            ++opening;
        } else if (c == '}') {
            ++closing;
            if (closing == opening) {
                return i;
            }
        }
    }
    return npos;
}

// Turns the raw text between the braces into the section's code: Stylus indentation of four
// spaces becomes TABs, line ends become LF, the one level of TAB indentation that block bodies
// carry is removed from every line but the first, and the result is trimmed. Line ends and
// indentation are white space, so trimming first gives the same result with less copying.
std::string cleanCode(std::string_view raw, bool stylusSpaces, CodeLineEnds lineEnds) {
    std::string tabbed;
    if (stylusSpaces && text::contains(raw, "\n    ")) {
        tabbed = text::replaceAll(raw, "    ", "\t");
        raw = tabbed;
    }
    raw = text::trimmed(raw);
    std::string code(raw.size(), '\0');
    char* out = code.data();
    const std::size_t n = raw.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = raw[i];
        if (c != '\n' && c != '\r') {
            *out++ = c;
            continue;
        }
        *out++ = '\n';
        if (c == '\r' && lineEnds == CodeLineEnds::joinCrLf && i + 1 < n && raw[i + 1] == '\n') {
            ++i;
        }
        if (i + 1 < n && raw[i + 1] == '\t') {
            ++i;
        }
    }
    code.resize(static_cast<std::size_t>(out - code.data()));
    return code;
}

}  // namespace

std::vector<std::string_view> splitMozDocumentChunkViews(std::string_view text) {
    if (text::trimmed(text).empty()) {
        return {std::string_view()};
    }
    std::vector<std::string_view> chunks;
    bool inComment = false;
    std::size_t start = 0;
    const std::size_t n = text.size();
    // Only "/" and "@" matter; jump from one to the next.
    std::size_t nextSlash = text.find('/');
    std::size_t nextAt = text.find('@');
    while (nextSlash != npos || nextAt != npos) {
        if (nextSlash < nextAt) {
            const std::size_t i = nextSlash;
            if (i > 0 && text[i - 1] == '*' && inComment) {
                inComment = false;
            }
            if (i + 1 < n && text[i + 1] == '*') {
                inComment = true;
            }
            nextSlash = text.find('/', i + 1);
        } else {
            const std::size_t i = nextAt;
            if (i > 0 && !inComment && text.compare(i, kMozDocument.size(), kMozDocument) == 0) {
                chunks.push_back(text::trimmed(text.substr(start, i - start)));
                start = i;
            }
            nextAt = text.find('@', i + 1);
        }
    }
    chunks.push_back(text::trimmed(text.substr(start)));
    return chunks;
}

std::vector<std::string> splitMozDocumentChunks(std::string_view text) {
    const std::vector<std::string_view> views = splitMozDocumentChunkViews(text);
    return std::vector<std::string>(views.begin(), views.end());
}

MozDocumentBlock readMozDocumentBlock(std::string_view chunk, std::string_view preprocessor,
                                      std::optional<std::string> pendingComment,
                                      CodeLineEnds lineEnds) {
    MozDocumentBlock result;
    result.pendingComment = std::move(pendingComment);

    std::size_t headerEnd = findHeaderEnd(chunk);
    const bool braceless = headerEnd == npos;
    std::size_t codeStart = 0;
    if (braceless) {
        // Stylus blocks may go without braces: the header ends at the first line end, and the
        // code starts one character into the next line.
        if (text::asciiLower(preprocessor) != "stylus") {
            return result;
        }
        headerEnd = chunk.find_first_of("\r\n");
        if (headerEnd == npos) {
            return result;
        }
        codeStart = headerEnd + 1;
        if (chunk[headerEnd] == '\r' && codeStart < chunk.size() && chunk[codeStart] == '\n') {
            ++codeStart;
        }
        codeStart += text::codePointLength(chunk, codeStart);
    } else {
        codeStart = headerEnd + 2;
    }
    const std::string_view header = text::trimmed(chunk.substr(0, headerEnd));

    std::string code;
    std::size_t closingBrace = npos;
    if (braceless) {
        code = cleanCode(chunk.substr(codeStart), false, lineEnds);
    } else {
        closingBrace = findClosingBrace(chunk, headerEnd);
        if (closingBrace == npos || closingBrace <= codeStart) {
            return result;  // never closed, or an empty block: nothing at all
        }
        code = cleanCode(chunk.substr(codeStart, closingBrace - codeStart),
                         preprocessor == "stylus", lineEnds);
    }

    if (result.pendingComment) {
        code = *result.pendingComment + "\n\n" + code;
        result.pendingComment.reset();
    }
    result.sections.push_back(parseMozDocumentRules(header, std::move(code)));
    if (braceless) {
        return result;
    }

    // What follows the closing brace: a comment is kept for the next block, anything else is
    // code that applies everywhere.
    const std::string rest = text::joinLineEnds(chunk.substr(closingBrace + 1));
    const std::string_view trailing = text::trimmed(rest);
    if (trailing.empty()) {
        return result;
    }
    if (trailing.starts_with("//") && !text::contains(trailing, '\n')) {
        result.pendingComment = std::string(trailing);
    } else if (trailing.starts_with("/*") && trailing.ends_with("*/")) {
        if (text::countOccurrences(trailing, "*/") > 1) {
            result.sections.push_back(sectionWithoutRules(std::string(trailing)));
        } else {
            result.pendingComment = std::string(trailing);
        }
    } else {
        result.sections.push_back(sectionWithoutRules(std::string(trailing)));
    }
    return result;
}

}  // namespace orlavine
