#include "model/serial_queue.h"

#include <utility>

namespace orlavine {

SerialQueue::SerialQueue() : thread_([this] { run(); }) {}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void SerialQueue::async(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        work_.push_back(std::move(work));
    }
    wake_.notify_one();
}

void SerialQueue::drain() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] { return work_.empty() && !busy_; });
}

void SerialQueue::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || !work_.empty(); });
        if (work_.empty()) {
            return;  // stopping, and everything queued has run
        }
        auto work = std::move(work_.front());
        work_.pop_front();
        busy_ = true;
        lock.unlock();
        work();
        lock.lock();
        busy_ = false;
        if (work_.empty()) {
            idle_.notify_all();
        }
    }
}

}  // namespace orlavine
