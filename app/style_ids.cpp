#include <fmt/format.h>

#include <charconv>

#include "app/command_table.h"

namespace orlavine {

std::optional<std::int64_t> parseStyleID(const std::string& text) {
    std::int64_t id = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, id);
    if (text.empty() || ec != std::errc() || ptr != end) {
        fmt::print(stderr, "\"{}\" is not a style ID. `orlavine list` shows the IDs.\n", text);
        return std::nullopt;
    }
    return id;
}

}  // namespace orlavine
