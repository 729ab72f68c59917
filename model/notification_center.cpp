#include "model/notification_center.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace orlavine {

NotificationCenter::Token NotificationCenter::addObserver(std::string name, Observer observer) {
    std::lock_guard lock(mutex_);
    const Token token = next_++;
    entries_.push_back(
        Entry{token, std::move(name), std::make_shared<Observer>(std::move(observer))});
    return token;
}

void NotificationCenter::removeObserver(Token token) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const Entry& e) { return e.token == token; });
}

void NotificationCenter::post(std::string name, UserInfo userInfo) {
    std::vector<std::pair<Token, std::shared_ptr<Observer>>> targets;
    {
        std::lock_guard lock(mutex_);
        for (const Entry& e : entries_) {
            if (e.name == name) {
                targets.emplace_back(e.token, e.observer);
            }
        }
    }
    const Notification notification{std::move(name), std::move(userInfo)};
    for (const auto& target : targets) {
        const Token token = target.first;
        const auto& observer = target.second;
        // An observer removed by an earlier one of this delivery (its owner may be gone by now)
        // is not called.
        bool present = false;
        {
            std::lock_guard lock(mutex_);
            present = std::any_of(entries_.begin(), entries_.end(),
                                  [&](const Entry& e) { return e.token == token; });
        }
        if (present) {
            (*observer)(notification);
        }
    }
}

}  // namespace orlavine
