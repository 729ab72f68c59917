#pragma once
// Work that runs off the main thread and hands its result back to a window. The window owns a
// BackgroundWork; results reach it on the main thread only while it lives, and its destructor
// waits for the work still running.

#include <QObject>
#include <QThreadPool>
#include <functional>

#include "library/main_thread.h"
#include "model/lifetime_guard.h"

namespace orlavine::gui {

class BackgroundWork {
  public:
    explicit BackgroundWork(QObject* receiver) : receiver_(receiver) {}
    ~BackgroundWork() {
        guard_.invalidate();
        pool_.waitForDone();
    }
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    // Runs `work` on a pool thread.
    void run(std::function<void()> work) { pool_.start(std::move(work)); }
    // Queues `f` on the receiver's thread; dropped once the receiver is gone.
    void onMain(std::function<void()> f) const {
        QObject* receiver = receiver_;
        guard_.guarded([receiver, f = std::move(f)]() mutable {
            QMetaObject::invokeMethod(receiver, std::move(f), Qt::QueuedConnection);
        })();
    }
    // The same, in the form the library's runs take.
    MainThread mainThread() const {
        return [this](std::function<void()> f) { onMain(std::move(f)); };
    }
    // How many pieces of work may run at once (the number of cores when not set).
    void setMaxThreads(int count) { pool_.setMaxThreadCount(count); }
    // Blocks until the work started so far has ended (tests).
    void wait() { pool_.waitForDone(); }

  private:
    QObject* receiver_;
    LifetimeGuard guard_;
    QThreadPool pool_;
};

}  // namespace orlavine::gui
