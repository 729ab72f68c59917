#include "app/gui/reorder.h"

#include <algorithm>

namespace orlavine::gui {
namespace {

void move(std::vector<std::int64_t>& order, int from, int to) {
    const int size = static_cast<int>(order.size());
    if (from < 0 || from >= size) {
        return;
    }
    const std::int64_t id = order[static_cast<std::size_t>(from)];
    order.erase(order.begin() + from);
    to = std::clamp(to, 0, size - 1);
    order.insert(order.begin() + to, id);
}

}  // namespace

std::vector<std::int64_t> reorderedIDs(std::vector<std::int64_t> order, std::vector<int> dragged,
                                       int dropRow) {
    std::sort(dragged.begin(), dragged.end());
    dragged.erase(std::unique(dragged.begin(), dragged.end()), dragged.end());
    int above = 0;
    int below = 0;
    for (int k : dragged) {
        if (k < 0 || k >= static_cast<int>(order.size())) {
            continue;
        }
        if (k < dropRow) {
            move(order, k + above, dropRow - 1);
            --above;
        } else {
            move(order, k, dropRow + below);
            ++below;
        }
    }
    return order;
}

}  // namespace orlavine::gui
