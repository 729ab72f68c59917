#include "app/gui/delete_styles_command.h"

#include <QObject>
#include <algorithm>

namespace orlavine::gui {

DeleteStylesCommand::DeleteStylesCommand(StyleStore& store, NotificationCenter& notifications,
                                         std::vector<std::int64_t> ids)
    : QUndoCommand(QObject::tr("Delete Style")),
      store_(store),
      notifications_(notifications),
      ids_(std::move(ids)) {}

void DeleteStylesCommand::redo() {
    // A properties window of a removed style closes; observers may read the store, so the
    // notices go out before the transaction.
    for (std::int64_t id : ids_) {
        notifications_.post(notifications::kCloseProperties, {{"id", id}});
    }
    auto removed = store_.change([this](styleDatabase& db, LibraryChange& changed) {
        std::vector<std::pair<std::size_t, styleContainer>> out;
        for (std::size_t i = 0; i < db.styles.size(); ++i) {
            if (std::find(ids_.begin(), ids_.end(), db.styles[i].uniqueID) != ids_.end()) {
                out.emplace_back(i, db.styles[i]);
                changed.touch(db.styles[i].uniqueID);
            }
        }
        std::erase_if(db.styles, [this](const styleContainer& s) {
            return std::find(ids_.begin(), ids_.end(), s.uniqueID) != ids_.end();
        });
        return out;
    });
    removed_ = removed ? std::move(*removed) : decltype(removed_){};
}

void DeleteStylesCommand::undo() {
    store_.change([this](styleDatabase& db, LibraryChange& changed) {
        for (const auto& [place, style] : removed_) {
            const bool present =
                std::any_of(db.styles.begin(), db.styles.end(),
                            [&](const styleContainer& s) { return s.uniqueID == style.uniqueID; });
            if (present) {
                continue;
            }
            const std::size_t at = std::min(place, db.styles.size());
            db.styles.insert(db.styles.begin() + static_cast<std::ptrdiff_t>(at), style);
            changed.touch(style.uniqueID);
        }
        return true;
    });
}

}  // namespace orlavine::gui
