#include "library/task_pool.h"

#include <algorithm>
#include <utility>

namespace orlavine {

TaskPool::TaskPool(std::size_t threads) : maxThreads_(std::max<std::size_t>(1, threads)) {}

TaskPool::~TaskPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void TaskPool::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        work_.push_back(std::move(work));
        if (work_.size() > waiting_ && threads_.size() < maxThreads_) {
            threads_.emplace_back([this] { run(); });
        }
    }
    wake_.notify_one();
}

void TaskPool::discardQueued() {
    std::lock_guard lock(mutex_);
    work_.clear();
    idle_.notify_all();
}

void TaskPool::wait() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return work_.empty() && running_ == 0; });
}

void TaskPool::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++waiting_;
        wake_.wait(lock, [this] { return stopping_ || !work_.empty(); });
        --waiting_;
        if (work_.empty()) {
            return;  // stopping, and nothing left to do
        }
        std::function<void()> work = std::move(work_.front());
        work_.pop_front();
        ++running_;
        lock.unlock();
        work();
        lock.lock();
        --running_;
        if (work_.empty() && running_ == 0) {
            idle_.notify_all();
        }
    }
}

}  // namespace orlavine
