#pragma once
// The content hash of a style's catalogue record, used to tell duplicates apart. Stable across
// runs and machines: it depends only on the bytes of the fields.

#include <cstdint>

#include "model/records.h"

namespace orlavine {

// Covers url, updateUrl, name, sections (every field of every section), md5Url and
// originalMd5, in that order; compSections is left out.
std::uint64_t contentHash(const styleJSON& record);

}  // namespace orlavine
