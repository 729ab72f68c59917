#include "library/row_update_check.h"

#include <utility>
#include <vector>

namespace orlavine {

RowUpdateCheck::RowUpdateCheck(UpdateContext context, NotificationCenter* notifications,
                               Callbacks callbacks, MainThread mainThread, std::size_t concurrency)
    : context_(std::move(context)),
      notifications_(notifications),
      callbacks_(std::move(callbacks)),
      mainThread_(std::move(mainThread)),
      pool_(std::make_unique<TaskPool>(concurrency)) {
    context_.abort = &abort_;
}

RowUpdateCheck::~RowUpdateCheck() {
    abort_ = true;
    pool_->discardQueued();
    guard_.invalidate();
    pool_.reset();  // joins the checks in flight, which end at once when cancelled
}

bool RowUpdateCheck::running() const {
    std::lock_guard lock(mutex_);
    return !inProgress_.empty();
}

void RowUpdateCheck::wait() {
    pool_->wait();
}

bool RowUpdateCheck::checkAll(bool cloudSyncInProgress) {
    const styleDatabase library = context_.store->snapshot();
    std::vector<const styleContainer*> rows;
    {
        std::lock_guard lock(mutex_);
        if (!cloudSyncInProgress && inProgress_.empty() && !library.styles.empty()) {
            for (const styleContainer& style : library.styles) {
                // A style with no source to check is passed over: marked as checking, it would
                // never leave the list and would block every later check.
                if (isCheckable(style, CheckRules::singleStyle)) {
                    rows.push_back(&style);
                    inProgress_.insert(style.uniqueID);
                }
            }
            wholeCheckRemaining_ = rows.size();
            if (rows.empty()) {
                return true;
            }
        } else {
            mainThread_(guard_.guarded([this] {
                if (callbacks_.beep) {
                    callbacks_.beep();
                }
            }));
            return false;
        }
    }
    for (const styleContainer* style : rows) {
        if (notifications_ != nullptr) {
            notifications_->post(notifications::kCloseProperties, {{"id", style->uniqueID}});
        }
        mainThread_(guard_.guarded([this, id = style->uniqueID] {
            if (callbacks_.statusChanged) {
                callbacks_.statusChanged(id, kStatusChecking);
            }
        }));
        startCheck(*style, {});  // the whole check's rows have no `done`
    }
    return true;
}

bool RowUpdateCheck::checkOne(std::int64_t uniqueID, std::function<void(const UpdateCheck&)> done) {
    std::optional<styleContainer> style = context_.store->styleByID(uniqueID);
    if (!style || !isCheckable(*style, CheckRules::singleStyle)) {
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        if (!inProgress_.insert(uniqueID).second) {
            return false;
        }
    }
    if (notifications_ != nullptr) {
        notifications_->post(notifications::kCloseProperties, {{"id", uniqueID}});
    }
    startCheck(*style, std::move(done));
    return true;
}

void RowUpdateCheck::startCheck(const styleContainer& style,
                                std::function<void(const UpdateCheck&)> done) {
    pool_->post([this, style, done = std::move(done)] {
        const UpdateCheck check = checkForUpdate(style, CheckRules::singleStyle, context_);
        bool last = false;
        {
            std::lock_guard lock(mutex_);
            inProgress_.erase(style.uniqueID);
            last = !done && --wholeCheckRemaining_ == 0;
        }
        const char* status = check.outcome == UpdateOutcome::updated    ? kStatusUpdated
                             : check.outcome == UpdateOutcome::upToDate ? kStatusNoUpdates
                                                                        : kStatusError;
        mainThread_(guard_.guarded([this, id = style.uniqueID, check, status, done, last] {
            if (done) {
                done(check);
                return;
            }
            if (callbacks_.statusChanged) {
                callbacks_.statusChanged(id, status);
            }
            if (callbacks_.rowChecked) {
                callbacks_.rowChecked(id, check);
            }
            if (last && callbacks_.finished) {
                callbacks_.finished();
            }
        }));
    });
}

}  // namespace orlavine
