#pragma once
// What an "orlavine:" link asks for: open a style, install a document from an address, or
// install a style of the catalogue.

#include <cstdint>
#include <string>
#include <string_view>

namespace orlavine::gui {

struct LinkRequest {
    enum class Kind { none, openStyle, userCSS, install };
    Kind kind = Kind::none;
    std::int64_t number = -1;  // the style (openStyle) or the catalogue style (install)
    std::string address;       // the document (userCSS) or the catalogue's JSON (install)
};

// The request of `link`, matched against the hosts "openstyle", "usercss" and "install" in that
// order. `none` when the link does not parse, names another host, or carries no usable number.
LinkRequest parseLink(std::string_view link, std::string_view catalogueHost);

// The first decimal number among the digit runs of `path` that fits in 64 bits, or -1.
std::int64_t firstNumber(std::string_view path);

}  // namespace orlavine::gui
