#include "app/gui/style_list_controller.h"

#include <malloc.h>

#include "app/gui/notice_values.h"

#include "app/gui/delete_styles_command.h"
#include "app/gui/reorder.h"
#include "library/library_services.h"
#include "model/config.h"

namespace orlavine::gui {
StyleListController::StyleListController(Session& session, Prompter& prompter, FirstLoad load,
                                         QObject* parent)
    : QObject(parent),
      session_(session),
      prompter_(prompter),
      bridge_(session.notifications(),
              {notifications::kLibraryChanged, notifications::kRefreshTable,
               notifications::kRefreshTableAndScroll, notifications::kAddLatestStyle,
               notifications::kAddToOpenStyles, kRemoveFromOpenStyles,
               notifications::kOpenStyleNotif, notifications::kLockForCloud,
               notifications::kCloudError, notifications::kPerformFirstUpdate}) {
    connect(&bridge_, &NoticeBridge::notice, this, &StyleListController::onNotice);
    connect(&model_, &StyleListModel::toggleRequested, this, &StyleListController::toggle);
    connect(&model_, &StyleListModel::renameRequested, this, &StyleListController::rename);
    connect(&model_, &StyleListModel::reorderRequested, this, &StyleListController::reorder);
    if (load == FirstLoad::now) {
        reload();
        return;
    }
    // Until the rows show the library nothing may change it (refused() says so), and no other
    // reload reads it on the main thread.
    loading_ = true;
    work_.run([this] {
        session_.readLibrary();
        work_.onMain([this] {
            loading_ = false;
            reload();
        });
        // What the read left free in this thread's heap goes back to the system rather than
        // staying with the program for its whole life.
        malloc_trim(0);
    });
}

void StyleListController::reload() {
    reloadQueued_ = false;
    if (loading_) {
        return;  // the first read's end fills the rows with the library as it is then
    }
    const bool first = !loaded_;
    loaded_ = true;
    session_.store().read([this](const styleDatabase& db) {
        model_.rebuild(db);
        return true;
    });
    if (first) {
        emit loaded();
    }
}

void StyleListController::scheduleReload() {
    if (reloadQueued_) {
        return;
    }
    reloadQueued_ = true;
    QMetaObject::invokeMethod(this, &StyleListController::reload, Qt::QueuedConnection);
}

void StyleListController::onNotice(const Notification& n) {
    const std::string& name = n.name;
    if (name == notifications::kLibraryChanged) {
        scheduleReload();
    } else if (name == notifications::kRefreshTable ||
               name == notifications::kRefreshTableAndScroll) {
        reload();
        if (locked_) {
            locked_ = false;
            emit lockChanged(false);
        }
        if (name == notifications::kRefreshTableAndScroll && !model_.rows().empty()) {
            emit showRow(model_.rows().back().uniqueID);
        }
    } else if (name == notifications::kAddLatestStyle) {
        reload();
        if (!model_.rows().empty()) {
            emit showRow(model_.rows().back().uniqueID);
        }
    } else if (name == notifications::kAddToOpenStyles) {
        openStyleIDs_.insert(noticeID(n));
    } else if (name == kRemoveFromOpenStyles) {
        openStyleIDs_.erase(noticeID(n));
    } else if (name == notifications::kOpenStyleNotif) {
        open(noticeID(n));
    } else if (name == notifications::kLockForCloud) {
        locked_ = true;
        emit lockChanged(true);
    } else if (name == notifications::kCloudError) {
        emit cloudError();
    } else if (name == notifications::kPerformFirstUpdate) {
        emit firstUpdateAsked();
    }
}

bool StyleListController::refused() {
    if (loading_ || locked_ || (syncInProgress_ && syncInProgress_())) {
        prompter_.beep();
        return true;
    }
    return false;
}

bool StyleListController::updating(const std::vector<std::int64_t>& ids) {
    for (std::int64_t id : ids) {
        if (model_.isUpdating(id)) {
            prompter_.beep();
            return true;
        }
    }
    return false;
}

void StyleListController::toggle(std::int64_t uniqueID, bool enabled) {
    if (!refused() && !updating({uniqueID})) {
        session_.store().setEnabled(uniqueID, enabled);
    }
    // A refused toggle puts the checkbox back; a done one shows the library's state.
    reload();
}

void StyleListController::setAllEnabled(bool enabled) {
    if (refused()) {
        return;
    }
    // Rows being checked take no change, and this changes every row.
    if (checks_ && checks_->running()) {
        prompter_.beep();
        return;
    }
    session_.store().setAllEnabled(enabled);
    session_.notifications().post(notifications::kRefreshTable);
}

void StyleListController::setEnabled(const std::vector<std::int64_t>& ids, bool enabled) {
    if (refused() || ids.empty() || updating(ids)) {
        return;
    }
    session_.store().change([&](styleDatabase& db, LibraryChange& changed) {
        for (styleContainer& s : db.styles) {
            if (s.isEnabled != enabled &&
                std::find(ids.begin(), ids.end(), s.uniqueID) != ids.end()) {
                s.isEnabled = enabled;
                changed.touch(s.uniqueID);
            }
        }
        return true;
    });
    reload();
}

void StyleListController::duplicate(const std::vector<std::int64_t>& ids) {
    if (refused() || ids.empty()) {
        return;
    }
    for (std::int64_t id : ids) {
        session_.store().duplicate(id);
    }
    session_.notifications().post(ids.size() == 1 ? notifications::kAddLatestStyle
                                                  : notifications::kRefreshTableAndScroll);
}

void StyleListController::deleteStyles(const std::vector<std::int64_t>& ids, bool clickedRow) {
    if (refused() || ids.empty() || updating(ids)) {
        return;
    }
    std::vector<std::int64_t> deletable;
    bool skipped = false;
    for (std::int64_t id : ids) {
        if (!openStyleIDs_.contains(id)) {
            deletable.push_back(id);
            continue;
        }
        if (ids.size() == 1) {
            const int row = model_.rowOf(id);
            const QString name =
                row >= 0 ? model_.rows()[static_cast<std::size_t>(row)].name : QString();
            prompter_.alert(
                tr("Cannot Delete Style"),
                clickedRow ? tr("This style is currently open in the Style Editor. Please close "
                                "it before deleting.")
                           : QStringLiteral("\"") + name +
                                 tr("\" is currently open in the Style Editor. Please close it "
                                    "before deleting."));
            return;
        }
        skipped = true;
    }
    if (!deletable.empty()) {
        bool yes = false;
        if (deletable.size() == 1) {
            const auto style = session_.store().styleByID(deletable.front());
            const QString name = style ? fromStd(style->styleData.name) : QString();
            yes = prompter_.confirm(
                tr("Are you sure you want to delete the style \"") + name + QStringLiteral("\"?"),
                tr("If sync is enabled, this style will also be deleted from the sync account. "
                   "You can undo this action afterwards."));
        } else {
            yes = prompter_.confirm(
                tr("Are you sure you want to delete %1 styles?").arg(deletable.size()),
                tr("If sync is enabled, these styles will also be deleted from the sync account. "
                   "You can undo this action afterwards."));
        }
        if (!yes) {
            return;
        }
        undo_.push(new DeleteStylesCommand(session_.store(), session_.notifications(), deletable));
        reload();
    }
    if (skipped) {
        prompter_.alert(tr("Cannot Delete Styles"),
                        tr("Some styles could not be deleted because they are currently open in "
                           "the Style Editor. Please close them before deleting."));
    }
}

void StyleListController::rename(std::int64_t uniqueID, const QString& name) {
    if (refused() || updating({uniqueID})) {
        reload();
        return;
    }
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        prompter_.alert(tr("Invalid Name"), tr("A style name can't be left blank."));
    } else {
        session_.store().rename(uniqueID, trimmed.toStdString());
    }
    reload();
}

void StyleListController::reorder(const std::vector<int>& rows, int dropRow) {
    if (refused()) {
        return;
    }
    std::vector<std::int64_t> shown;
    for (const StyleRow& row : model_.rows()) {
        shown.push_back(row.uniqueID);
    }
    std::vector<std::int64_t> dragged;
    for (int row : rows) {
        if (row >= 0 && row < static_cast<int>(shown.size())) {
            dragged.push_back(shown[static_cast<std::size_t>(row)]);
        }
    }
    if (updating(dragged)) {
        return;
    }
    const std::vector<std::int64_t> order = reorderedIDs(shown, rows, dropRow);
    if (order == shown) {
        return;
    }
    // Applied to the library as it is now: the styles shown take their new order, and styles
    // another program added meanwhile keep their place after them.
    session_.store().change([&](styleDatabase& db, LibraryChange& changed) {
        std::vector<styleContainer> styles;
        styles.reserve(db.styles.size());
        for (std::int64_t id : order) {
            const auto it =
                std::find_if(db.styles.begin(), db.styles.end(),
                             [id](const styleContainer& s) { return s.uniqueID == id; });
            if (it != db.styles.end()) {
                styles.push_back(std::move(*it));
                it->uniqueID = -1;
            }
        }
        for (styleContainer& s : db.styles) {
            if (s.uniqueID != -1 &&
                std::find(order.begin(), order.end(), s.uniqueID) == order.end()) {
                styles.push_back(std::move(s));
            }
        }
        db.styles = std::move(styles);
        changed.everything = true;
        return true;
    });
    reload();
}

void StyleListController::open(std::int64_t uniqueID) {
    if (uniqueID < 0) {
        return;
    }
    if (openStyleIDs_.contains(uniqueID)) {
        session_.notifications().post(kCheckIfWindowFocus, {{"id", uniqueID}});
        return;
    }
    if (!session_.store().styleByID(uniqueID)) {
        return;
    }
    emit showRow(uniqueID);
    emit openInEditor(uniqueID);
}

RowUpdateCheck& StyleListController::checks() {
    if (!checks_) {
        UpdateContext context = session_.updateContext();
        RowUpdateCheck::Callbacks callbacks;
        callbacks.statusChanged = [this](std::int64_t id, const std::string& status) {
            setUpdateStatus(id, QString::fromStdString(status));
        };
        callbacks.beep = [this] { prompter_.beep(); };
        callbacks.finished = [this] { model_.setWholeCheckRunning(false); };
        checks_ = std::make_unique<RowUpdateCheck>(std::move(context), &session_.notifications(),
                                                   std::move(callbacks), work_.mainThread());
    }
    return *checks_;
}

void StyleListController::setUpdateStatus(std::int64_t uniqueID, const QString& status) {
    model_.setUpdateStatus(uniqueID, status);
    emit updateStatusChanged(uniqueID, status);
}

void StyleListController::updateAll() {
    if (refused()) {
        return;
    }
    // The checks' statuses reach the rows through the callbacks, queued after this returns.
    if (checks().checkAll(syncInProgress_ && syncInProgress_()) && checks_->running()) {
        model_.setWholeCheckRunning(true);
    }
}

void StyleListController::updateOne(std::int64_t uniqueID) {
    if (refused() || model_.wholeCheckRunning()) {
        return;
    }
    const bool started = checks().checkOne(uniqueID, [this, uniqueID](const UpdateCheck& check) {
        const char* status = check.outcome == UpdateOutcome::updated    ? kStatusUpdated
                             : check.outcome == UpdateOutcome::upToDate ? kStatusNoUpdates
                                                                        : kStatusError;
        setUpdateStatus(uniqueID, QString::fromLatin1(status));
    });
    if (!started) {
        prompter_.beep();
        return;
    }
    setUpdateStatus(uniqueID, QString::fromLatin1(kStatusChecking));
}

}  // namespace orlavine::gui
