#include "app/gui/link_request.h"

#include <boost/url/parse.hpp>
#include <charconv>

namespace orlavine::gui {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Keeps what a host name may hold unencoded; every other byte becomes %XX.
std::string encodeForHost(std::string_view text) {
    static constexpr std::string_view kAllowed = "!$&'()*+,-.:;=[]_~";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c) ||
            kAllowed.find(c) != std::string_view::npos) {
            out.push_back(c);
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out.push_back('%');
            out.push_back(kHex[u >> 4]);
            out.push_back(kHex[u & 0xF]);
        }
    }
    return out;
}

}  // namespace

std::int64_t firstNumber(std::string_view path) {
    std::size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && !isDigit(path[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < path.size() && isDigit(path[i])) {
            ++i;
        }
        if (start == i) {
            break;
        }
        std::int64_t number = 0;
        const auto [end, ec] = std::from_chars(path.data() + start, path.data() + i, number);
        if (ec == std::errc() && end == path.data() + i) {
            return number;
        }
    }
    return -1;
}

LinkRequest parseLink(std::string_view link, std::string_view catalogueHost) {
    const auto url = boost::urls::parse_uri(link);
    if (!url) {
        return {};
    }
    const std::string host = url->host();
    const std::string path = url->path();
    LinkRequest request;
    if (host == "openstyle") {
        request.number = firstNumber(path);
        if (request.number >= 0) {
            request.kind = LinkRequest::Kind::openStyle;
        }
    } else if (host == "usercss") {
        const std::size_t at = link.find("usercss/");
        if (at != std::string_view::npos) {
            request.kind = LinkRequest::Kind::userCSS;
            request.address = std::string(link.substr(at + 8));
        }
    } else if (host == "install") {
        request.number = firstNumber(path);
        if (request.number <= 0) {
            return {};
        }
        request.kind = LinkRequest::Kind::install;
        const std::string number = std::to_string(request.number);
        request.address =
            "https://" + std::string(catalogueHost) + "/styles/chrome/" + number + ".json";
        const std::size_t lastSlash = path.rfind('/');
        const std::string lastComponent =
            lastSlash == std::string::npos ? path : path.substr(lastSlash + 1);
        const std::size_t second = path.size() > 1 ? path.find('/', 1) : std::string::npos;
        if (lastComponent != number && second != std::string::npos) {
            request.address += "?" + encodeForHost(path.substr(second + 1));
        }
    }
    return request;
}

}  // namespace orlavine::gui
