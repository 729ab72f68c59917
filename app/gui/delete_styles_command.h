#pragma once
// The undo step "Delete Style": removes styles from the library, and on undo puts them back
// where they were.

#include <QUndoCommand>
#include <cstdint>
#include <utility>
#include <vector>

#include "model/notification_center.h"
#include "model/style_store.h"

namespace orlavine::gui {

class DeleteStylesCommand : public QUndoCommand {
  public:
    DeleteStylesCommand(StyleStore& store, NotificationCenter& notifications,
                        std::vector<std::int64_t> ids);
    void redo() override;
    void undo() override;
    // How many styles the last redo removed.
    std::size_t removedCount() const { return removed_.size(); }

  private:
    StyleStore& store_;
    NotificationCenter& notifications_;
    std::vector<std::int64_t> ids_;
    // The removed styles with the places they had, in ascending order of place.
    std::vector<std::pair<std::size_t, styleContainer>> removed_;
};

}  // namespace orlavine::gui
