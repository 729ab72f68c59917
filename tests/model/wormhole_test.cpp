#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/wormhole.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

using namespace std::chrono_literals;
using testing::TempDir;
using testing::writeText;

// Collects what a listener delivers and lets the test wait for it.
class Inbox {
  public:
    WormholeListener::Callback callback() {
        return [this](std::string bytes) {
            std::lock_guard lock(mutex_);
            messages_.push_back(std::move(bytes));
            arrived_.notify_all();
        };
    }
    // Waits until at least `count` messages arrived; false on timeout.
    bool waitFor(std::size_t count, std::chrono::milliseconds timeout = 10s) {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
    }
    // Waits until the latest message equals `bytes`.
    bool waitForLatest(const std::string& bytes, std::chrono::milliseconds timeout = 10s) {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, timeout,
                                 [&] { return !messages_.empty() && messages_.back() == bytes; });
    }
    std::vector<std::string> messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::string> messages_;
};

std::unique_ptr<WormholeListener> listen(const std::filesystem::path& container,
                                         const std::string& identifier, Inbox& inbox) {
    auto listener = WormholeListener::start(container, identifier, inbox.callback());
    EXPECT_TRUE(listener.ok()) << (listener.ok() ? "" : listener.error());
    return listener.ok() ? std::move(listener).value() : nullptr;
}

TEST(Wormhole, ListenerReceivesTheExactBytesOfMessagesPassedAfterItStarted) {
    TempDir container;
    const Wormhole wormhole(container.path());
    ASSERT_TRUE(wormhole.passMessage(kStyleDBUpdated, "before the listener"));

    Inbox inbox;
    auto listener = listen(container.path(), kStyleDBUpdated, inbox);
    ASSERT_NE(listener, nullptr);

    const std::string bytes("{\"styles\":[]}\0\xff\n\xe2\x82\xac end", 21);
    ASSERT_TRUE(wormhole.passMessage(kStyleDBUpdated, bytes));
    ASSERT_TRUE(inbox.waitFor(1)) << "no message arrived";
    EXPECT_EQ(inbox.messages().front(), bytes) << "an old message was delivered";
    EXPECT_EQ(wormhole.message(kStyleDBUpdated).value(), bytes);

    // Later messages keep arriving; the latest always arrives even when messages coalesce.
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(wormhole.passMessage(kStyleDBUpdated, "message " + std::to_string(i)));
    }
    EXPECT_TRUE(inbox.waitForLatest("message 19"));

    // An empty message is a message too.
    ASSERT_TRUE(wormhole.passMessage(kStyleDBUpdated, ""));
    EXPECT_TRUE(inbox.waitForLatest(""));
}

TEST(Wormhole, LargeMessageArrivesWhole) {
    TempDir container;
    Inbox inbox;
    auto listener = listen(container.path(), kStyleDBUpdated, inbox);
    ASSERT_NE(listener, nullptr);

    std::string large(5 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<char>('a' + (i * 7919) % 26);
    }
    ASSERT_TRUE(Wormhole(container.path()).passMessage(kStyleDBUpdated, large));
    ASSERT_TRUE(inbox.waitFor(1));
    const auto messages = inbox.messages();
    for (const std::string& m : messages) {
        EXPECT_EQ(m.size(), large.size()) << "a partial message was delivered";
    }
    EXPECT_TRUE(messages.back() == large);
}

TEST(Wormhole, ListenerIgnoresOtherIdentifiersAndTemporaryFiles) {
    TempDir container;
    const Wormhole wormhole(container.path());
    Inbox inbox;
    auto listener = listen(container.path(), "mine", inbox);
    ASSERT_NE(listener, nullptr);

    ASSERT_TRUE(wormhole.passMessage("mine", "first"));
    ASSERT_TRUE(inbox.waitFor(1));

    // None of these may produce a delivery (not even a repeat of "first").
    ASSERT_TRUE(wormhole.passMessage("other", "for someone else"));
    ASSERT_TRUE(wormhole.passMessage("mine2", "similar name"));
    writeText(wormhole.folder() / ".mine.message.tmp-abcdef", "half written");
    writeText(wormhole.folder() / "mine.message.tmp", "half written");
    writeText(wormhole.folder() / "mine", "no suffix");
    std::filesystem::create_directory(wormhole.folder() / "mine.message.d");

    ASSERT_TRUE(wormhole.passMessage("mine", "second"));
    ASSERT_TRUE(inbox.waitForLatest("second"));
    EXPECT_EQ(inbox.messages(), (std::vector<std::string>{"first", "second"}));

    // Another listener of the other identifier got its own message only.
    Inbox otherInbox;
    auto otherListener = listen(container.path(), "other", otherInbox);
    ASSERT_TRUE(wormhole.passMessage("mine", "third"));
    ASSERT_TRUE(wormhole.passMessage("other", "yours"));
    ASSERT_TRUE(otherInbox.waitFor(1));
    ASSERT_TRUE(inbox.waitForLatest("third"));
    EXPECT_EQ(otherInbox.messages(), (std::vector<std::string>{"yours"}));
}

// A message cut short by a crash leaves its temporary in the folder; the next message removes it
// once it is old enough not to belong to a write under way.
TEST(Wormhole, StaleTemporariesOfCutShortMessagesAreRemoved) {
    TempDir dir;
    const auto folder = dir / "wormhole";
    std::filesystem::create_directories(folder);
    const auto stale = folder / ".styleDBUpdated.message.tmp-abc123";
    const auto fresh = folder / ".styleDBUpdated.message.tmp-def456";
    writeText(stale, "partial");
    writeText(fresh, "partial");
    std::filesystem::last_write_time(stale, std::filesystem::file_time_type::clock::now() - 1h);

    ASSERT_TRUE(Wormhole(dir.path()).passMessage("styleDBUpdated", "{}"));
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(fresh));
    EXPECT_EQ(testing::readText(folder / "styleDBUpdated.message"), "{}");
}

TEST(Wormhole, AMessageSharesTheFileThatHoldsItsBytesAndKeepsThemWhenTheFileIsReplaced) {
    TempDir dir;
    const auto library = dir / "styledb.sdb";
    writeText(library, "first library");
    struct stat info {};
    ASSERT_EQ(::stat(library.c_str(), &info), 0);
    Wormhole wormhole(dir.path());
    Inbox inbox;
    auto listener = listen(dir.path(), "styleDBUpdated", inbox);

    ASSERT_TRUE(wormhole.passMessage("styleDBUpdated", "first library", library, info.st_ino));
    ASSERT_TRUE(inbox.waitForLatest("first library"));
    struct stat message {};
    ASSERT_EQ(::stat((dir / "wormhole/styleDBUpdated.message").c_str(), &message), 0);
    EXPECT_EQ(message.st_ino, info.st_ino) << "no second copy";
    // The library is replaced whole, as every save does: the message keeps the old bytes.
    writeText(dir / "next", "second library");
    std::filesystem::rename(dir / "next", library);
    EXPECT_EQ(*wormhole.message("styleDBUpdated"), "first library");

    // A file that is not the one meant (another inode, or other bytes): the bytes are written.
    ASSERT_TRUE(wormhole.passMessage("styleDBUpdated", "other bytes", library, info.st_ino));
    ASSERT_TRUE(inbox.waitForLatest("other bytes"));
    EXPECT_EQ(*wormhole.message("styleDBUpdated"), "other bytes");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "wormhole"),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary name left behind";
}

TEST(Wormhole, InvalidIdentifiersAreRefused) {
    TempDir container;
    const Wormhole wormhole(container.path() / "shared");
    Inbox inbox;
    const std::vector<std::string> invalid = {"../x",     "",
                                              "a/b",      ".",
                                              "..",       "x y",
                                              "x\n",      std::string("x\0y", 3),
                                              "\xc3\xa9", std::string(300, 'a')};
    for (const std::string& identifier : invalid) {
        EXPECT_FALSE(wormhole.passMessage(identifier, "bytes").ok()) << identifier;
        EXPECT_FALSE(wormhole.message(identifier).ok()) << identifier;
        EXPECT_FALSE(WormholeListener::start(container.path(), identifier, inbox.callback()).ok())
            << identifier;
    }
    // Nothing was written anywhere, in particular not beside the wormhole folder.
    EXPECT_FALSE(std::filesystem::exists(container.path() / "shared" / "x.message"));
    EXPECT_FALSE(std::filesystem::exists(container.path() / "x.message"));

    for (const char* identifier : {"styleDBUpdated", "a-b_C9"}) {
        EXPECT_TRUE(wormhole.passMessage(identifier, "ok").ok()) << identifier;
    }
    EXPECT_FALSE(wormhole.message("neverPassed").ok());
}

TEST(Wormhole, DestroyingAListenerReturnsPromptly) {
    TempDir container;
    Inbox inbox;
    for (int i = 0; i < 5; ++i) {
        auto listener = listen(container.path(), kStyleDBUpdated, inbox);
        ASSERT_NE(listener, nullptr);
        if (i % 2 == 1) {
            ASSERT_TRUE(Wormhole(container.path()).passMessage(kStyleDBUpdated, "x"));
            ASSERT_TRUE(inbox.waitFor(static_cast<std::size_t>(i / 2 + 1)));
        }
        const auto start = std::chrono::steady_clock::now();
        listener.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    }
    // A listener of a container that does not exist yet creates the folder it watches.
    auto fresh = listen(container.path() / "new" / "container", "id", inbox);
    EXPECT_NE(fresh, nullptr);
}

}  // namespace
}  // namespace orlavine
