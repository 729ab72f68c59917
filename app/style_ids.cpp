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

std::optional<styleContainer> styleForID(CliSession& session, const std::string& idText,
                                         int& status) {
    const std::optional<std::int64_t> id = parseStyleID(idText);
    if (!id) {
        status = kExitUsage;
        return std::nullopt;
    }
    std::optional<styleContainer> style = session.store().styleByID(*id);
    if (!style) {
        fmt::print(stderr, "No style has the ID {}. `orlavine list` shows the IDs.\n", *id);
        status = kExitFailure;
    }
    return style;
}

}  // namespace orlavine
