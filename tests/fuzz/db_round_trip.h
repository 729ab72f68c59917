#pragma once
// The property the database decoder must keep for any input: it either refuses the text with a
// message, or gives a database that survives being written and read back unchanged. Shared by
// the fuzz target and the test that replays its corpus.

#include <optional>
#include <string>
#include <string_view>

#include "model/record_json.h"

namespace orlavine::testing {

// Nothing when `text` is refused cleanly or round-trips; otherwise what went wrong.
inline std::optional<std::string> roundTripProblem(std::string_view text) {
    const Result<styleDatabase> first = decodeDatabase(text);
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
