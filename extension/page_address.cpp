#include "extension/page_address.h"

#include "extension/utf8_text.h"

#include <boost/url/parse.hpp>

namespace orlavine {

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

PageAddress readPageAddress(std::string_view text) {
    PageAddress address;
    address.text = text;
    const auto parsed = boost::urls::parse_uri(text);
    if (parsed.has_value() && parsed->has_authority()) {
        std::string host = parsed->host_address();
        if (!host.empty()) {
            address.host = lowerAscii(host);
        }
    }
    address.matchBuffer = replaceInvalidUtf8(text);
    address.matchBuffer += '/';
    return address;
}

}  // namespace orlavine
