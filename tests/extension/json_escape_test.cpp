#include "extension/json_escape.h"

#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <random>
#include <string>

#include "extension/native_messaging.h"

namespace orlavine {
namespace {

// Random text weighted towards what needs care: quotes, backslashes, every control character,
// U+2028, DEL, multi-byte sequences and stray or truncated UTF-8 bytes.
std::string fuzzedText(std::mt19937& random, std::size_t length) {
    static const std::string kPieces[] = {
        "\"", "\\",   "\n",   "\x7f",     "\xe2\x80\xa8",       "é",
        "𝄞",  "\xc3", "\x80", "\xf0\x9f", "body { color: red }"};
    std::string text;
    while (text.size() < length) {
        const auto pick = random() % 4;
        if (pick == 0) {
            text += static_cast<char>(random() % 0x20);
        } else if (pick == 1) {
            text += kPieces[random() % std::size(kPieces)];
        } else {
            text += static_cast<char>(' ' + random() % 95);
        }
    }
    return text;
}

TEST(JsonEscape, MatchesTheSerializerAndSplitsBackIntoTheSameText) {
    std::mt19937 random(14);
    for (int round = 0; round < 400; ++round) {
        const std::string text = fuzzedText(random, random() % 300);
        std::string ours = "x";
        appendJsonString(ours, text);
        EXPECT_EQ(ours, "x" + boost::json::serialize(boost::json::string_view(text)));

        // Pieces never exceed their budget and join back to the text; valid UTF-8 stays
        // valid in every piece.
        const std::size_t budget = 6 + random() % 40;
        std::string joined;
        for (std::size_t start = 0; start < text.size();) {
            std::string piece;
            const std::size_t taken =
                appendEscapedWithin(piece, std::string_view(text).substr(start), budget);
            ASSERT_GT(taken, 0u);
            EXPECT_LE(piece.size(), budget);
            EXPECT_EQ("\"" + piece + "\"", boost::json::serialize(boost::json::string_view(
                                               std::string_view(text).substr(start, taken))));
            joined.append(text, start, taken);
            start += taken;
        }
        EXPECT_EQ(joined, text);
    }
    // Cut anywhere, valid UTF-8 stays valid in every piece.
    const std::string wide = "a\"é𝄞€\n" + std::string(9, 'b');
    for (std::size_t budget = 6; budget < 16; ++budget) {
        std::string_view rest = wide;
        while (!rest.empty()) {
            std::string piece = "\"";
            rest.remove_prefix(appendEscapedWithin(piece, rest, budget));
            boost::system::error_code ec;
            boost::json::parse(piece + "\"", ec);
            EXPECT_FALSE(ec) << piece;
        }
    }
}

}  // namespace
}  // namespace orlavine
