#pragma once
// The style list's update checks: every row checked at once on background threads (the update
// command, and the check at launch), and one row's update button. A style found newer is
// replaced and the library saved at once; each row's outcome goes to the main thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "library/main_thread.h"
#include "library/task_pool.h"
#include "library/update_check.h"
#include "model/lifetime_guard.h"
#include "model/notification_center.h"

namespace orlavine {

// A row's update status.
inline constexpr const char* kStatusChecking = "checking";
inline constexpr const char* kStatusUpdated = "updated";
inline constexpr const char* kStatusNoUpdates = "noupdates";
inline constexpr const char* kStatusError = "error";

// What one row's update button shows when its check ends.
inline constexpr const char* kRowUpdated = "Updated!";
inline constexpr const char* kRowUpToDate = "Already up-to-date.";
inline constexpr const char* kRowUpdateError = "Update error.";

// Checks at once at most this many styles.
inline constexpr std::size_t kMaxConcurrentChecks = 8;

class RowUpdateCheck {
  public:
    // Each runs on the main thread.
    struct Callbacks {
        std::function<void(std::int64_t uniqueID, const std::string& status)> statusChanged;
        std::function<void(std::int64_t uniqueID, const UpdateCheck& check)> rowChecked;
        std::function<void()> beep;      // a check could not start
        std::function<void()> finished;  // the last row of a whole check has its outcome
    };

    RowUpdateCheck(UpdateContext context, NotificationCenter* notifications, Callbacks callbacks,
                   MainThread mainThread = serialisedInline(),
                   std::size_t concurrency = kMaxConcurrentChecks);
    // Cancels the downloads in flight and drops the checks not started; no callback runs any
    // more. Returns once the cancelled checks have returned.
    ~RowUpdateCheck();
    RowUpdateCheck(const RowUpdateCheck&) = delete;
    RowUpdateCheck& operator=(const RowUpdateCheck&) = delete;

    // Checks every style that has a source to check. Beeps and returns false while a cloud sync
    // or another whole check is running, or when the library is empty.
    bool checkAll(bool cloudSyncInProgress);
    // One row's update button; `done` gets the outcome on the main thread. False (and nothing
    // happens) when the style is gone, has no source to check, or is being checked.
    bool checkOne(std::int64_t uniqueID, std::function<void(const UpdateCheck&)> done);

    bool running() const;
    // Blocks until every check started so far has ended.
    void wait();

  private:
    void startCheck(const styleContainer& style, std::function<void(const UpdateCheck&)> done);

    UpdateContext context_;
    NotificationCenter* notifications_;
    Callbacks callbacks_;
    MainThread mainThread_;
    mutable std::mutex mutex_;
    std::set<std::int64_t> inProgress_;
    std::size_t wholeCheckRemaining_ = 0;
    std::atomic<bool> abort_{false};
    LifetimeGuard guard_;
    std::unique_ptr<TaskPool> pool_;
};

}  // namespace orlavine
