#pragma once
// Where a style's site icon may be found: for each of its sections in order, the favicon of each
// domain (with and without "www.") and of the site of each address prefix that names a site.

#include <string>
#include <vector>

#include "model/records.h"

namespace orlavine {

// At most `limit` addresses, each once, in the order they are worth trying.
std::vector<std::string> siteIconAddresses(const styleContainer& style, std::size_t limit = 6);

}  // namespace orlavine
