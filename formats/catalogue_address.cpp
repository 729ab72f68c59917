#include "formats/catalogue_address.h"

#include <charconv>
#include <optional>

namespace orlavine {
namespace {

// The length of the catalogue prefix that `address` begins with, tested in the catalogue's
// order, or nothing.
std::optional<std::size_t> cataloguePrefixLength(std::string_view address, std::string_view host) {
    for (std::string_view scheme : {"https://", "http://", "https://www.", "http://www."}) {
        std::string prefix(scheme);
        prefix.append(host).append("/styles/");
        if (address.starts_with(prefix)) {
            return prefix.size();
        }
    }
    return std::nullopt;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::int64_t catalogueStyleID(std::string_view address, std::string_view host) {
    const auto prefix = cataloguePrefixLength(address, host);
    if (!prefix) {
        return -1;
    }
    // Digits are looked for after the prefix only, so that a host with digits in its name or
    // port never passes for the style number.
    std::string_view rest = address.substr(*prefix);
    while (!rest.empty()) {
        std::size_t start = 0;
        while (start < rest.size() && !isDigit(rest[start])) {
            ++start;
        }
        std::size_t end = start;
        while (end < rest.size() && isDigit(rest[end])) {
            ++end;
        }
        if (start == end) {
            break;
        }
        std::int64_t number = 0;
        const auto [ptr, ec] = std::from_chars(rest.data() + start, rest.data() + end, number);
        if (ec == std::errc() && ptr == rest.data() + end) {
            return number;
        }
        rest.remove_prefix(end);  // too long to be a number: look further
    }
    return -1;
}

std::string catalogueJSONURL(std::string_view address, std::string_view host) {
    if (!cataloguePrefixLength(address, host)) {
        return {};
    }
    std::string jsonPrefix = "https://";
    jsonPrefix.append(host).append("/styles/chrome/");
    if (address.starts_with(jsonPrefix)) {
        return std::string(address);
    }
    const std::int64_t number = catalogueStyleID(address, host);
    if (number == -1) {
        return {};
    }
    return jsonPrefix + std::to_string(number) + ".json";
}

}  // namespace orlavine
