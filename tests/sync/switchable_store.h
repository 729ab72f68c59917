#pragma once
// A record store that one machine sees through: it can be taken off the network, and counts
// what passes through it.

#include <atomic>

#include "sync/record_store.h"

namespace orlavine::sync::testing {

class SwitchableStore : public RecordStore {
  public:
    explicit SwitchableStore(RecordStore& inner) : inner_(inner) {}

    std::atomic<bool> offline{false};
    // Goes offline right after the next fetch, as a network that drops between fetch and save.
    std::atomic<bool> dropAfterFetch{false};
    std::atomic<int> fetches{0};
    std::atomic<int> saves{0};

    FetchOutcome fetch(const std::vector<std::string>& names) override {
        ++fetches;
        if (offline) {
            return {down(), std::nullopt};
        }
        FetchOutcome out = inner_.fetch(names);
        if (dropAfterFetch.exchange(false)) {
            offline = true;
        }
        return out;
    }
    TagOutcome currentTag(const std::string& name) override {
        if (offline) {
            return {down(), std::nullopt};
        }
        return inner_.currentTag(name);
    }
    SaveOutcome save(const std::string& name, std::string_view body,
                     const std::optional<std::string>& expectedTag) override {
        ++saves;
        if (offline) {
            return {down(), {}};
        }
        return inner_.save(name, body, expectedTag);
    }
    std::optional<CloudError> checkAccount() override {
        return offline ? down() : inner_.checkAccount();
    }
    bool waitForChange(std::chrono::milliseconds timeout) override {
        return inner_.waitForChange(timeout);
    }

  private:
    static CloudError down() { return CloudError{CloudError::Kind::other, "network is down"}; }
    RecordStore& inner_;
};

}  // namespace orlavine::sync::testing
