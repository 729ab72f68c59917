#pragma once
// Page CSS assembly done the direct way: every style and rule walked, every regular expression
// compiled afresh, on each request. It is the yardstick for CompiledLibrary (same results, far
// more work) in the differential tests and the benchmarks.

#include <string>
#include <string_view>
#include <vector>

#include "extension/page_css.h"
#include "model/records.h"

namespace orlavine {

std::string uncachedPageCSS(const styleDatabase& db, std::string_view address, bool isFrame);
std::vector<styleKeys> uncachedActiveStyles(const styleDatabase& db, std::string_view address);

}  // namespace orlavine
