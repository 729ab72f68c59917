#pragma once
// The property the database decoder must keep for any input: it either refuses the text with a
// message, or gives a database that survives being written and read back unchanged. Shared by
// the fuzz target and the test that replays its corpus.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/library_index.h"
#include "model/library_outline.h"
#include "model/record_json.h"

namespace orlavine::testing {

// An outline of `text`, when there is one, must give the records the full decoder gives, and
// write a text that decodes to them again. So must an outline that checks code only when
// decoding it, whenever the decoder takes the text.
inline std::optional<std::string> outlineProblem(std::string_view text,
                                                 const Result<styleDatabase>& full) {
    auto shared = std::make_shared<const std::string>(text);
    if (auto lazy = LibraryOutline::read(shared, LibraryOutline::CodeCheck::onDecode);
        lazy && full) {
        styleDatabase decoded = lazy->second;
        lazy->first.decodeCode(decoded);
        if (!(decoded == *full)) {
            return "the outline checked on decoding differs from the decoder";
        }
        const Result<styleDatabase> again = decodeDatabase(lazy->first.encode(lazy->second));
        if (!again || !(*again == *full)) {
            return "the outline checked on decoding writes another library";
        }
    }
    auto outline = LibraryOutline::read(shared);
    if (!outline) {
        return std::nullopt;
    }
    if (!full) {
        return "outlined a text the decoder refuses (" + full.error() + ")";
    }
    const Result<styleDatabase> written = decodeDatabase(outline->first.encode(outline->second));
    styleDatabase decoded = outline->second;
    outline->first.decodeCode(decoded);
    if (!(decoded == *full)) {
        return "the outline's records differ from the decoder's";
    }
    if (!written || !(*written == *full)) {
        return "the outline's text does not decode to the same records";
    }
    // Its index gives its records and code places back, and only for the file it was made from.
    std::vector<CodeSpan> spans;
    for (std::string_view stored : outline->first.storedCode()) {
        spans.push_back({outline->first.offsetInText(stored),
                         static_cast<std::uint32_t>(stored.size()), stored.empty()});
    }
    const LibraryFileIdentity file{1, 2, text.size(), 3};
    const std::uint64_t skeleton = skeletonChecksum(text, spans);
    const std::string index = encodeLibraryIndex(outline->second, spans, skeleton, file);
    const auto read = decodeLibraryIndex(index, file);
    if (!read || !(read->records == outline->second) || !(read->spans == spans) ||
        read->skeleton != skeleton) {
        return "the outline's index does not read back";
    }
    if (decodeLibraryIndex(index, {1, 2, text.size(), 4}) ||
        decodeLibraryIndex(std::string_view(index).substr(0, index.size() - 1), file)) {
        return "an index was read for another file or cut short";
    }
    return std::nullopt;
}

// Nothing when `text` is refused cleanly or round-trips; otherwise what went wrong.
inline std::optional<std::string> roundTripProblem(std::string_view text) {
    (void)detail::decodeLibraryIndexBody(text);  // must only refuse what it cannot read
    const Result<styleDatabase> first = decodeDatabase(text);
    if (std::optional<std::string> problem = outlineProblem(text, first)) {
        return problem;
    }
    if (!first) {
        if (first.error().empty()) {
            return "refused without a message";
        }
        return std::nullopt;
    }
    const std::string encoded = encodeDatabase(*first);
    const Result<styleDatabase> second = decodeDatabase(encoded);
    if (!second) {
        return "its own encoding does not decode (" + second.error() + "): " + encoded;
    }
    if (!(*second == *first)) {
        return "decoding its own encoding gives another database: " + encoded;
    }
    return std::nullopt;
}

}  // namespace orlavine::testing
