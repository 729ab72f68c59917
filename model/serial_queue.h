#pragma once
// A background thread that runs queued work one item at a time, in order.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace orlavine {

class SerialQueue {
  public:
    SerialQueue();
    // Finishes all queued work before returning.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(std::function<void()> work);
    // Blocks until everything queued so far has run.
    void drain();

  private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> work_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace orlavine
