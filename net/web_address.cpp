#include "net/web_address.h"

#include <fmt/format.h>
#include <boost/url/parse.hpp>

#include <algorithm>
#include <cctype>

namespace orlavine {
namespace {

bool isHostNameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == '_';
}

// Whether the host part of an address that is no valid URI holds letters outside ASCII, as a
// host name typed in its own script ("bücher.example") does.
bool hasNonAsciiHost(std::string_view address) {
    const std::size_t start = address.find("://");
    if (start == std::string_view::npos) {
        return false;
    }
    const std::string_view rest = address.substr(start + 3);
    const std::string_view host = rest.substr(0, rest.find_first_of("/?#"));
    return std::any_of(host.begin(), host.end(), [](unsigned char c) { return c >= 0x80; });
}

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

}  // namespace

Status checkWebAddress(std::string_view address, const DownloadLimits& limits) {
    if (address.size() > limits.maxAddressLength) {
        return Error{
            fmt::format("The address is longer than {} characters.", limits.maxAddressLength)};
    }
    auto url = boost::urls::parse_absolute_uri(address);
    if (!url) {
        if (hasNonAsciiHost(address)) {
            return Error{
                "Host names with letters outside ASCII must be written in their xn-- form."};
        }
        return Error{"The address is not a valid web address."};
    }
    const std::string scheme = lowered(url->scheme());
    if (scheme != "http" && scheme != "https") {
        return Error{"Only http and https addresses can be downloaded."};
    }
    if (url->has_userinfo()) {
        return Error{"Addresses with a user name or password are not accepted."};
    }
    const std::string_view host = url->encoded_host();
    if (host.empty()) {
        return Error{"The address has no host."};
    }
    if (url->host_type() == boost::urls::host_type::name &&
        !std::all_of(host.begin(), host.end(), isHostNameCharacter)) {
        return Error{"Host names with letters outside ASCII must be written in their xn-- form."};
    }
    return Done{};
}

std::string hostKey(std::string_view address) {
    auto url = boost::urls::parse_absolute_uri(address);
    if (!url) {
        return {};
    }
    return lowered(url->encoded_host()) + ":" + std::string(url->port());
}

std::string originKey(std::string_view address) {
    auto url = boost::urls::parse_absolute_uri(address);
    if (!url) {
        return {};
    }
    const std::string scheme = lowered(url->scheme());
    std::string port(url->port());
    if (port.empty()) {
        port = scheme == "https" ? "443" : "80";
    }
    return scheme + "://" + lowered(url->encoded_host()) + ":" + port;
}

}  // namespace orlavine
