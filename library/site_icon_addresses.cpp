#include "library/site_icon_addresses.h"

#include <algorithm>
#include <string_view>

#include "text/text.h"

namespace orlavine {
namespace {

// "https://host" of an address prefix that names a site ("…/", "….com", "….org", "….net").
std::string siteOf(std::string_view prefix) {
    const bool namesSite = prefix.ends_with('/') || prefix.ends_with(".com") ||
                           prefix.ends_with(".org") || prefix.ends_with(".net");
    const std::size_t scheme = prefix.find("://");
    if (!namesSite || scheme == std::string_view::npos) {
        return {};
    }
    const std::size_t hostEnd = prefix.find_first_of("/?#", scheme + 3);
    const std::string_view site = prefix.substr(0, hostEnd);
    return text::asciiLower(site.substr(0, scheme)).starts_with("http") ? std::string(site)
                                                                        : std::string();
}

}  // namespace

std::vector<std::string> siteIconAddresses(const styleContainer& style, std::size_t limit) {
    std::vector<std::string> out;
    const auto add = [&](std::string address) {
        if (out.size() < limit && std::find(out.begin(), out.end(), address) == out.end()) {
            out.push_back(std::move(address));
        }
    };
    for (const styleSection& section : style.styleData.sections) {
        for (const std::string& domain : section.domains) {
            const std::string host = text::asciiLower(text::trimmed(domain));
            if (host.empty() || host.find_first_of("/?#@ ") != std::string::npos) {
                continue;
            }
            add("https://" + host + "/favicon.ico");
            if (!host.starts_with("www.")) {
                add("https://www." + host + "/favicon.ico");
            }
        }
        for (const std::string& prefix : section.urlPrefixes) {
            if (const std::string site = siteOf(prefix); !site.empty()) {
                add(site + "/favicon.ico");
            }
        }
    }
    return out;
}

}  // namespace orlavine
