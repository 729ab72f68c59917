#pragma once
// Background threads that run queued work, at most a fixed number at once. Threads are started
// as work arrives, so a pool that is never used costs nothing.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orlavine {

class TaskPool {
  public:
    explicit TaskPool(std::size_t threads);
    // Finishes all queued work before returning.
    ~TaskPool();
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    void post(std::function<void()> work);
    // Blocks until everything posted so far has run.
    void wait();
    // Drops the work that has not started yet.
    void discardQueued();

  private:
    void run();

    const std::size_t maxThreads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> work_;
    std::size_t running_ = 0;
    std::size_t waiting_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace orlavine
