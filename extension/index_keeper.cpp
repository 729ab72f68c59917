#include "extension/index_keeper.h"

#include <pthread.h>
#include <sched.h>

#include <system_error>
#include <utility>

#include "extension/library_code.h"

namespace orlavine {

IndexKeeper::IndexKeeper(std::filesystem::path database) : database_(std::move(database)) {}

IndexKeeper::~IndexKeeper() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) {
        // The index asked for last is still written (local work of a moment), at the ordinary
        // priority, or a busy machine could keep the host from ending.
        sched_param ordinary{};
        (void)::pthread_setschedparam(worker_.native_handle(), SCHED_OTHER, &ordinary);
        worker_.join();
    }
}

void IndexKeeper::keep(std::shared_ptr<const CompiledLibrary> saved, LibraryFileIdentity file) {
    if (!saved || !saved->code()) {
        return;
    }
    std::lock_guard lock(mutex_);
    next_ = Job{std::move(saved), file};
    if (!worker_.joinable()) {
        try {
            worker_ = std::thread([this] { work(); });
        } catch (const std::system_error&) {
            next_.reset();  // no thread to spare: a later start writes the index
            return;
        }
    }
    wake_.notify_one();
}

void IndexKeeper::waitIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return (!next_ && !busy_) || !worker_.joinable(); });
}

void IndexKeeper::work() {
    std::unique_lock lock(mutex_);
    if (!stop_) {  // else the destructor may already have set the ordinary policy
        sched_param idle{};
        (void)::pthread_setschedparam(::pthread_self(), SCHED_IDLE, &idle);
    }
    for (;;) {
        wake_.wait(lock, [this] { return next_ || stop_; });
        if (!next_) {
            return;
        }
        Job job = std::move(*next_);
        next_.reset();
        busy_ = true;
        lock.unlock();
        // An index stands for a library every program reads the same, so every code text must
        // be one the decoder takes (the host itself checks each only as a page needs it).
        if (job.saved->code()->allReadBack()) {
            // A failed write only costs the next start its speed. A newer library asked for
            // meanwhile is written next and replaces this index.
            const LibraryCode& code = *job.saved->code();
            (void)writeLibraryIndex(database_, job.saved->database(), code.spans(), code.skeleton(),
                                    job.file);
        }
        job.saved.reset();
        lock.lock();
        busy_ = false;
        idle_.notify_all();
    }
}

}  // namespace orlavine
