// Addresses typed by users or found in styles: the web address check, the catalogue address
// forms and the style name an address gives must take any bytes without crashing, and keep
// their promises.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/catalogue_address.h"
#include "library/url_import.h"
#include "net/web_address.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view address(reinterpret_cast<const char*>(data), size);
    const orlavine::Status usable = orlavine::checkWebAddress(address);
    if (usable && !address.starts_with("http") && !address.starts_with("HTTP") &&
        !address.starts_with("Http")) {
        // Only http and https addresses may pass, whatever their letter case.
        const std::string_view scheme = address.substr(0, address.find(':'));
        if (scheme.size() < 4 || scheme.size() > 5) {
            std::abort();
        }
    }
    const std::string json = orlavine::catalogueJSONURL(address, "userstyles.org");
    const std::int64_t number = orlavine::catalogueStyleID(address, "userstyles.org");
    if (!json.empty() && !json.starts_with("https://userstyles.org/styles/chrome/")) {
        std::abort();
    }
    if (number < -1) {
        std::abort();
    }
    const std::string name = orlavine::styleNameForAddress(address);
    if (name.size() > address.size()) {
        std::abort();
    }
    return 0;
}
