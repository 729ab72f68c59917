#pragma once
// The update sheet's run: every style of the library checked one after another on a background
// thread, with a log, a progress value and a cancel button. Each replacement is written to the
// library file as it is made. Callbacks reach the main thread only while the run lives.

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "library/main_thread.h"
#include "library/update_check.h"
#include "model/lifetime_guard.h"
#include "model/notification_center.h"

namespace orlavine {

inline constexpr const char* kCheckingForUpdatesLine = "Checking for updates...\n";
inline constexpr const char* kNoStylesNeedUpdates = "No styles need updates.";

class UpdateSheetRun {
  public:
    // Each runs on the main thread.
    struct Callbacks {
        std::function<void(const std::string& log)> logChanged;
        std::function<void(double percent)> progressChanged;
        // The run ended (completed or interrupted): Done enabled, Cancel disabled, spinner off.
        std::function<void()> finished;
        // The sheet closes.
        std::function<void()> dismissed;
    };

    UpdateSheetRun(UpdateContext context, NotificationCenter* notifications, Callbacks callbacks,
                   MainThread mainThread = serialisedInline());
    // Gives up a run still going: the download in flight is cancelled, no callback runs any
    // more, and the thread is joined once the cancelled download has returned.
    ~UpdateSheetRun();
    UpdateSheetRun(const UpdateSheetRun&) = delete;
    UpdateSheetRun& operator=(const UpdateSheetRun&) = delete;

    // Shows the first log line and starts checking. Once only.
    void start();
    // The Cancel button: the run stops before its next style. The fifth press gives up waiting:
    // the download in flight is cancelled, the library read again from its file, the style
    // list refreshed and the sheet dismissed.
    void cancel();
    // The Done button: refreshes the style list and dismisses the sheet.
    void done();
    // Blocks until the background run has ended (tests and the command line).
    void wait();

    std::string log() const;
    int updatedCount() const;
    bool isFinished() const { return finished_.load(); }

  private:
    void run(const styleDatabase& copy, std::size_t checkable);
    void appendLog(const std::string& line);
    void finish(const std::string& lastLine);
    void closeSheet();

    UpdateContext context_;
    NotificationCenter* notifications_;
    Callbacks callbacks_;
    MainThread mainThread_;

    mutable std::mutex mutex_;  // guards log_, updated_, progress_
    std::string log_;
    int updated_ = 0;
    double progress_ = 0;

    std::atomic<bool> isCanceled_{false};
    std::atomic<bool> abort_{false};
    std::atomic<int> cancelCount_{0};
    std::atomic<bool> finished_{false};
    std::atomic<bool> dismissed_{false};
    std::thread thread_;
    LifetimeGuard guard_;
};

// "Updates completed. 2 styles were updated." and its kin.
std::string updatedStylesSentence(std::string_view opening, int updated);

}  // namespace orlavine
