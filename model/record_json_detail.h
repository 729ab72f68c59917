#pragma once
// The record decoder and encoder as the library outline uses them (library_outline.cpp); no
// other code needs these.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "model/records.h"

namespace orlavine::detail {

// What part of a library text a skeleton holds: all of it; the head of a text cut at a comma
// between two styles, with no library member but "styles" before the cut; or the tail after
// such a cut, read as if `{"styles":[` came first.
enum class SkeletonPart { whole, head, tail };

// Decodes a library text whose sections' code and compiledcode are whole numbers, keeping each
// number's decimal text in place of the code. The text is `runs` with the number i between
// runs[i] and runs[i + 1]. False for any text the full decoder would not take in the same way,
// and for a head that does not end between two styles; `out` is then unspecified. A head and
// its tail decode to what the whole text does, the tail holding the styles after the cut and
// the library's members after the styles.
bool decodeDatabaseSkeleton(const std::vector<std::string_view>& runs, styleDatabase& out,
                            SkeletonPart held = SkeletonPart::whole);

// Encodes `db`; with `pieces`, the sections' code and compiledcode are places in it whose JSON
// string contents are written as they stand. `sizeHint`: about how long the text will be.
std::string encodeDatabase(const styleDatabase& db, std::size_t sizeHint,
                           const std::vector<std::string_view>* pieces);

}  // namespace orlavine::detail
