#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "model/lifetime_guard.h"
#include "model/notification_center.h"

namespace orlavine {
namespace {

using namespace std::chrono_literals;

TEST(NotificationCenter, DeliversByNameWithUserInfoUntilRemoved) {
    NotificationCenter center;
    std::vector<Notification> renamed;
    int closed = 0;
    const auto renameToken = center.addObserver(
        notifications::kStyleNameChanged, [&](const Notification& n) { renamed.push_back(n); });
    center.addObserver(notifications::kCloseProperties, [&](const Notification&) { ++closed; });

    center.post(notifications::kStyleNameChanged,
                {{"id", std::int64_t{4000000000}}, {"newname", std::string("Dark mode")}});
    center.post("styleNameChangedLater");
    center.post("stylesChangedInCloud", {{"changedIDs", std::vector<std::int64_t>{1, 2}}});

    ASSERT_EQ(renamed.size(), 1u);
    EXPECT_EQ(renamed[0].name, "styleNameChanged");
    EXPECT_EQ(std::get<std::int64_t>(renamed[0].userInfo.at("id")), 4000000000);
    EXPECT_EQ(std::get<std::string>(renamed[0].userInfo.at("newname")), "Dark mode");
    EXPECT_EQ(closed, 0);

    // Two observers of one name both hear it.
    int second = 0;
    center.addObserver(notifications::kStyleNameChanged, [&](const Notification&) { ++second; });
    center.removeObserver(renameToken);
    center.removeObserver(renameToken);  // removing twice is harmless
    center.removeObserver(987654);       // so is an unknown token
    center.post(notifications::kStyleNameChanged);
    EXPECT_EQ(renamed.size(), 1u);
    EXPECT_EQ(second, 1);
}

TEST(NotificationCenter, ObserversMayPostAddAndRemoveDuringDelivery) {
    // Run on another thread so that a deadlock fails the test instead of hanging it.
    auto center = std::make_shared<NotificationCenter>();
    auto events = std::make_shared<std::vector<std::string>>();
    std::promise<void> done;
    auto finished = done.get_future();
    std::thread([center, events, done = std::move(done)]() mutable {
        NotificationCenter::Token self = 0;
        NotificationCenter::Token victim = 0;
        self = center->addObserver("refreshTable", [&, center, events](const Notification&) {
            events->push_back("refresh");
            center->post("closeProperties", {{"id", std::int64_t{7}}});
            center->addObserver("refreshTable",
                                [events](const Notification&) { events->push_back("late"); });
            center->removeObserver(victim);
            center->removeObserver(self);
        });
        victim = center->addObserver(
            "refreshTable", [events](const Notification&) { events->push_back("victim"); });
        center->addObserver("closeProperties", [events](const Notification& n) {
            events->push_back("close " +
                              std::to_string(std::get<std::int64_t>(n.userInfo.at("id"))));
        });
        center->post("refreshTable");
        center->post("refreshTable");
        done.set_value();
    }).detach();
    ASSERT_EQ(finished.wait_for(10s), std::future_status::ready) << "delivery deadlocked";

    // The first post: the self-removing observer ran once and its nested post was delivered at
    // once; the observer it removed was not called afterwards. The second post reaches only the
    // observer added during the first.
    EXPECT_EQ(*events, (std::vector<std::string>{"refresh", "close 7", "late"}));
}

TEST(NotificationCenter, ConcurrentPostsFromSeveralThreadsAreAllDelivered) {
    NotificationCenter center;
    std::atomic<int> heard{0};
    std::atomic<int> otherHeard{0};
    center.addObserver("updateFavicons", [&](const Notification& n) {
        heard += static_cast<int>(std::get<std::int64_t>(n.userInfo.at("id")));
    });
    constexpr int kThreads = 4;
    constexpr int kPosts = 2000;
    std::atomic<bool> stop{false};
    // Meanwhile observers come and go.
    std::thread churn([&] {
        while (!stop) {
            auto t =
                center.addObserver("updateFavicons", [&](const Notification&) { ++otherHeard; });
            center.removeObserver(t);
        }
    });
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&] {
            for (int i = 0; i < kPosts; ++i) {
                center.post("updateFavicons", {{"id", std::int64_t{1}}});
            }
        });
    }
    for (auto& t : posters) {
        t.join();
    }
    stop = true;
    churn.join();
    EXPECT_EQ(heard.load(), kThreads * kPosts);
}

// An owner that removes its observer and is then destroyed must not be called any more, also
// when a delivery to it had started on another thread: removal waits for that delivery.
TEST(NotificationCenter, RemovalWaitsForADeliveryInProgressElsewhere) {
    NotificationCenter center;
    std::mutex mutex;
    std::condition_variable changed;
    bool inside = false;
    bool release = false;
    auto owner = std::make_unique<int>(0);
    const auto token = center.addObserver("refreshTable", [&](const Notification&) {
        std::unique_lock lock(mutex);
        inside = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
        ++*owner;  // the owner must still exist here
    });
    std::thread poster([&] { center.post("refreshTable"); });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return inside; });
    }
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        center.removeObserver(token);
        removed = true;
    });
    EXPECT_FALSE(removed.load());
    {
        std::lock_guard lock(mutex);
        release = true;
        changed.notify_all();
    }
    remover.join();
    poster.join();
    EXPECT_EQ(*owner, 1);
    owner.reset();
    center.post("refreshTable");  // nothing left to call
}

// Work finished on another thread hands its result over through the guard; once the receiver is
// gone the hand-over does nothing, and a receiver may end its guard from inside a callback.
TEST(LifetimeGuard, CallbacksRunOnlyWhileTheReceiverLives) {
    std::vector<std::function<void()>> queued;
    int delivered = 0;
    {
        LifetimeGuard guard;
        queued.push_back(guard.guarded([&] { ++delivered; }));
        queued.push_back(guard.guarded([&] { guard.invalidate(); }));
        queued.push_back(guard.guarded([&] { ++delivered; }));
        for (auto& work : queued) {
            work();
        }
        EXPECT_EQ(delivered, 1);
        queued.clear();
        LifetimeGuard second;
        queued.push_back(second.guarded([&] { ++delivered; }));
    }
    queued[0]();
    EXPECT_EQ(delivered, 1);
}

}  // namespace
}  // namespace orlavine
