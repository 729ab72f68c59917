#pragma once
// Where dragged rows land: rows taken in ascending order, rows above the drop row moved one by
// one to just above it, rows at or below it moved one by one below the ones moved before.

#include <cstdint>
#include <vector>

namespace orlavine::gui {

// `order` after dropping the rows `dragged` above row `dropRow` (the size of `order`: below the
// last row). Rows out of range are ignored.
std::vector<std::int64_t> reorderedIDs(std::vector<std::int64_t> order, std::vector<int> dragged,
                                       int dropRow);

}  // namespace orlavine::gui
