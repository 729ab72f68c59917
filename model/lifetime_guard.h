#pragma once
// Ties callbacks to the lifetime of the object that receives them. Work running on another thread
// hands its result over through `guarded(f)`; once the receiver has called `invalidate()` (its
// destructor does), such callbacks do nothing. `invalidate()` waits for a callback that is
// running on another thread, so the receiver is never used after it is gone; called from inside
// one of its own callbacks it does not wait for itself.

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace orlavine {

class LifetimeGuard {
  public:
    LifetimeGuard() : state_(std::make_shared<State>()) {}
    ~LifetimeGuard() { invalidate(); }
    LifetimeGuard(const LifetimeGuard&) = delete;
    LifetimeGuard& operator=(const LifetimeGuard&) = delete;

    void invalidate() {
        std::lock_guard lock(state_->mutex);
        state_->alive = false;
    }

    bool alive() const {
        std::lock_guard lock(state_->mutex);
        return state_->alive;
    }

    // `f` wrapped so that it runs only while the receiver lives; copies may outlive the guard.
    template <class F>
    std::function<void()> guarded(F f) const {
        return [state = state_, f = std::move(f)]() mutable {
            std::lock_guard lock(state->mutex);
            if (state->alive) {
                f();
            }
        };
    }

  private:
    struct State {
        // Recursive: a callback may invalidate the guard of its own receiver.
        std::recursive_mutex mutex;
        bool alive = true;
    };
    std::shared_ptr<State> state_;
};

}  // namespace orlavine
