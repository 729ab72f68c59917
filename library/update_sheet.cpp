#include "library/update_sheet.h"

#include <algorithm>
#include <utility>

namespace orlavine {

std::string updatedStylesSentence(std::string_view opening, int updated) {
    return std::string(opening) + std::to_string(updated) +
           (updated == 1 ? " style was updated." : " styles were updated.");
}

UpdateSheetRun::UpdateSheetRun(UpdateContext context, NotificationCenter* notifications,
                               Callbacks callbacks, MainThread mainThread)
    : context_(std::move(context)),
      notifications_(notifications),
      callbacks_(std::move(callbacks)),
      mainThread_(std::move(mainThread)) {
    context_.abort = &abort_;
}

UpdateSheetRun::~UpdateSheetRun() {
    isCanceled_ = true;
    abort_ = true;
    guard_.invalidate();
    wait();
}

void UpdateSheetRun::wait() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

std::string UpdateSheetRun::log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

int UpdateSheetRun::updatedCount() const {
    std::lock_guard lock(mutex_);
    return updated_;
}

void UpdateSheetRun::start() {
    styleDatabase copy = context_.store->snapshot();
    const auto checkable = static_cast<std::size_t>(
        std::count_if(copy.styles.begin(), copy.styles.end(),
                      [](const styleContainer& s) { return s.source != "custom"; }));
    {
        std::lock_guard lock(mutex_);
        log_ = kCheckingForUpdatesLine;
    }
    if (checkable < 1) {
        finish(kNoStylesNeedUpdates);
        return;
    }
    mainThread_(guard_.guarded([this, log = log()] {
        if (callbacks_.logChanged) {
            callbacks_.logChanged(log);
        }
    }));
    thread_ = std::thread([this, copy = std::move(copy), checkable] { run(copy, checkable); });
}

void UpdateSheetRun::run(const styleDatabase& copy, std::size_t checkable) {
    for (const styleContainer& style : copy.styles) {
        if (isCanceled_) {
            finish(updatedStylesSentence("Update process was interrupted. ", updatedCount()));
            return;
        }
        const UpdateCheck check = checkForUpdate(style, CheckRules::sheet, context_);
        std::string log;
        double progress = 0;
        bool checked = true;
        {
            std::lock_guard lock(mutex_);
            switch (check.outcome) {
                case UpdateOutcome::error:
                    log_ += "An error occurred checking for updates for \"" + check.name + "\".\n";
                    break;
                case UpdateOutcome::upToDate:
                    log_ += "\"" + check.name + "\" is already up-to-date.\n";
                    break;
                case UpdateOutcome::updated:
                    log_ += "\"" + check.name + "\" was updated to the latest version.\n";
                    ++updated_;
                    break;
                case UpdateOutcome::notChecked:
                    checked = false;
                    break;
            }
            if (checked) {
                progress_ = std::min(100.0, progress_ + 100.0 / static_cast<double>(checkable));
            }
            log = log_;
            progress = progress_;
        }
        mainThread_(guard_.guarded([this, log = std::move(log), progress, checked] {
            if (checked && callbacks_.progressChanged) {
                callbacks_.progressChanged(progress);
            }
            if (callbacks_.logChanged) {
                callbacks_.logChanged(log);
            }
        }));
    }
    // Styles passed over move the bar too, so that a finished run shows a full one.
    mainThread_(guard_.guarded([this] {
        if (callbacks_.progressChanged) {
            callbacks_.progressChanged(100.0);
        }
    }));
    finish(updatedStylesSentence("Updates completed. ", updatedCount()));
}

void UpdateSheetRun::finish(const std::string& lastLine) {
    std::string log;
    {
        std::lock_guard lock(mutex_);
        log_ += lastLine;
        log = log_;
    }
    mainThread_(guard_.guarded([this, log = std::move(log)] {
        if (callbacks_.logChanged) {
            callbacks_.logChanged(log);
        }
        if (callbacks_.finished) {
            callbacks_.finished();
        }
    }));
    finished_ = true;
}

void UpdateSheetRun::cancel() {
    isCanceled_ = true;
    if (++cancelCount_ <= 4) {
        return;
    }
    // Gives up waiting: the download in flight ends. Every replacement is whole in the file,
    // and the library is read again from it.
    abort_ = true;
    wait();
    context_.store->refresh();
    closeSheet();
}

void UpdateSheetRun::done() {
    wait();
    closeSheet();
}

void UpdateSheetRun::closeSheet() {
    if (dismissed_.exchange(true)) {
        return;
    }
    if (notifications_ != nullptr) {
        notifications_->post(notifications::kRefreshTable);
    }
    mainThread_(guard_.guarded([this] {
        if (callbacks_.dismissed) {
            callbacks_.dismissed();
        }
    }));
}

}  // namespace orlavine
