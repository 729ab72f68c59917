// Cancelling a record store ends the request in flight, the waits between requests and every
// later request, soon: a program that quits does not hang on a server that stopped answering.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "support/loopback_https.h"
#include "support/test_support.h"
#include "sync/folder_record_store.h"
#include "sync/webdav_record_store.h"

namespace orlavine::sync {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(WebDavCancel, EndsARequestInFlightAndEveryLaterOne) {
    orlavine::testing::LoopbackHttpsServer server;
    std::mutex mutex;
    std::condition_variable arrived;
    bool received = false;
    server.server().Get("/lib/styleDatabase.sdb",
                        [&](const httplib::Request&, httplib::Response& response) {
                            {
                                std::lock_guard lock(mutex);
                                received = true;
                            }
                            arrived.notify_all();
                            server.pause(60s);  // ends when the server stops
                            response.set_content("too late", "application/octet-stream");
                        });

    WebDavAccount account;
    account.folderURL = server.base() + "/lib/";
    account.caFile = server.certificateFile().string();
    WebDavRecordStore store(account);
    FetchOutcome outcome;
    std::thread fetching([&] { outcome = store.fetch({kDatabaseRecord}); });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(arrived.wait_for(lock, 30s, [&] { return received; }));
    }
    const auto cancelled = Clock::now();
    store.cancel();
    fetching.join();
    EXPECT_LT(Clock::now() - cancelled, 1s);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->message, "The request was cancelled.");
    EXPECT_FALSE(outcome.records);

    // Later calls fail at once without asking the server, and waits end at once.
    const auto later = Clock::now();
    EXPECT_EQ(store.currentTag(kDatabaseRecord).error->message, "The request was cancelled.");
    EXPECT_TRUE(store.save(kDatabaseRecord, "body", std::nullopt).error);
    EXPECT_FALSE(store.waitForChange(10min));
    EXPECT_LT(Clock::now() - later, 1s);
    EXPECT_EQ(server.requests(), 1);
}

TEST(FolderCancel, EndsAWaitForAChange) {
    orlavine::testing::TempDir folder;
    FolderRecordStore store(folder.path());
    // Whether the cancel comes before the wait starts or during it, the wait ends at once.
    const auto start = Clock::now();
    std::thread waiting([&] { EXPECT_FALSE(store.waitForChange(10min)); });
    store.cancel();
    waiting.join();
    EXPECT_FALSE(store.waitForChange(10min));
    EXPECT_LT(Clock::now() - start, 1s);
}

}  // namespace
}  // namespace orlavine::sync
