#pragma once
// Which addresses the network client may ask at all, and what it groups them by.

#include <string>
#include <string_view>

#include "model/result.h"
#include "net/download_options.h"

namespace orlavine {

// Whether `address` may be downloaded: at most maxAddressLength characters, http or https, a
// host of ASCII letters, digits, dots and dashes (or an IP address), no user name or password.
// The error says what is wrong, in words for the user.
Status checkWebAddress(std::string_view address, const DownloadLimits& limits = {});

// "host:port" of an address already checked, in lower case: the unit of the per-host bound.
std::string hostKey(std::string_view address);

// "scheme://host:port" of an address already checked, in lower case: where credentials may go.
std::string originKey(std::string_view address);

}  // namespace orlavine
