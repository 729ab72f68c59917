#include "model/notification_center.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace orlavine {

NotificationCenter::Token NotificationCenter::addObserver(std::string name, Observer observer) {
    auto target = std::make_shared<Target>();
    target->observer = std::move(observer);
    std::lock_guard lock(mutex_);
    const Token token = next_++;
    entries_.push_back(Entry{token, std::move(name), std::move(target)});
    return token;
}

void NotificationCenter::removeObserver(Token token) {
    std::shared_ptr<Target> target;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& e) { return e.token == token; });
        if (it == entries_.end()) {
            return;
        }
        target = std::move(it->target);
        entries_.erase(it);
    }
    // Waits for a delivery in progress on another thread; from inside its own delivery the
    // recursive lock lets the observer remove itself.
    std::lock_guard delivery(target->mutex);
    target->removed = true;
}

void NotificationCenter::post(std::string name, UserInfo userInfo) {
    std::vector<std::shared_ptr<Target>> targets;
    {
        std::lock_guard lock(mutex_);
        for (const Entry& e : entries_) {
            if (e.name == name) {
                targets.push_back(e.target);
            }
        }
    }
    const Notification notification{std::move(name), std::move(userInfo)};
    for (const auto& target : targets) {
        // An observer removed before its turn (its owner may be gone by now) is not called.
        std::lock_guard delivery(target->mutex);
        if (!target->removed) {
            target->observer(notification);
        }
    }
}

}  // namespace orlavine
