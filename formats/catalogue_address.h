#pragma once
// The address forms of the public style catalogue: style pages
// ("https://<host>/styles/<number>/<slug>", with or without "www." and over http or https) and
// the JSON form of a style ("https://<host>/styles/chrome/<number>.json").

#include <cstdint>
#include <string>
#include <string_view>

namespace orlavine {

// The catalogue number in an address on the catalogue host `host`: the first run of decimal
// digits after the "/styles/" prefix that fits in 64 bits, or -1.
std::int64_t catalogueStyleID(std::string_view address, std::string_view host);

// The JSON address of the catalogue style at `address`, or the empty string when the address is
// not a catalogue style address. A JSON address is returned unchanged.
std::string catalogueJSONURL(std::string_view address, std::string_view host);

}  // namespace orlavine
