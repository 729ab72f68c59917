// Two machines syncing through each WebDAV server people run, with a fault-injecting proxy in
// front: whatever the server enforces, no interleaving loses a style or a change, a missing
// folder comes back, and setting up a new address makes its folders.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "model/config.h"
#include "model/record_json.h"
#include "sync/dav_servers.h"
#include "sync/sync_account.h"
#include "sync/sync_machine.h"
#include "sync/webdav_record_store.h"

namespace orlavine::sync::testing {
namespace {

constexpr const char* kUser = "ann";
constexpr const char* kPassword = "s3cret pass";

struct ServerCase {
    DavKind kind;
    bool refusesStaleWrites;  // the server itself enforces If-Match / If-None-Match
};

// One machine and its own connection to the account through the proxy.
struct Node {
    std::unique_ptr<WebDavRecordStore> cloud;
    std::unique_ptr<Machine> machine;
    Machine* operator->() { return machine.get(); }
};

class EveryServer : public ::testing::TestWithParam<ServerCase> {
  protected:
    void SetUp() override {
        if (auto why = DavServer::unavailable(GetParam().kind)) {
            GTEST_SKIP() << *why;
        }
        server_ = std::make_unique<DavServer>(GetParam().kind, kUser, kPassword);
        ASSERT_TRUE(server_->failure().empty()) << server_->failure();
        proxy_ = std::make_unique<FaultProxy>(server_->port());
        ASSERT_TRUE(proxy_->failure().empty()) << proxy_->failure();
    }

    std::unique_ptr<WebDavRecordStore> connect(const std::string& below = "") {
        WebDavAccount account;
        account.folderURL = parseAccountAddress(proxy_->url("/dav/" + below))->location;
        account.user = kUser;
        account.password = kPassword;
        return std::make_unique<WebDavRecordStore>(account);
    }

    Node machine(const std::string& below = "") {
        Node node;
        node.cloud = connect(below);
        node.machine = std::make_unique<Machine>(*node.cloud);
        return node;
    }

    std::vector<std::string> cloudNames(const std::string& below = "") {
        const FetchOutcome f = connect(below)->fetch({kDatabaseRecord});
        std::vector<std::string> names;
        if (f.records && f.records->contains(kDatabaseRecord)) {
            const Result<styleDatabase> db = decodeDatabase(f.records->at(kDatabaseRecord).body);
            for (const styleContainer& s : db->styles) {
                names.push_back(s.styleData.name);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    static std::vector<std::string> sorted(std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return names;
    }

    std::unique_ptr<DavServer> server_;
    std::unique_ptr<FaultProxy> proxy_;
};

TEST_P(EveryServer, TwoMachinesSavingAtOnceKeepBothStylesAndACutAnswerLosesNothing) {
    Node a = machine();
    Node b = machine();
    ASSERT_FALSE(a.cloud->prepare().error);
    ASSERT_FALSE(b.cloud->prepare().error);
    a->add(1, "alpha");
    a->enableAndStart();
    b->enableAndStart();
    ASSERT_EQ(b->names(), std::vector<std::string>{"alpha"});

    // A's upload waits in the proxy while B saves: B must wait for A (its lock refused) rather
    // than write all of its save first and then be overwritten.
    ASSERT_TRUE(proxy_->tell("reset"));
    ASSERT_TRUE(proxy_->tell("hold?method=PUT&suffix=styleDatabase.sdb"));
    std::thread first([&] { a->add(2, "from a"); });
    ASSERT_TRUE(proxy_->tell("held"));
    std::thread second([&] { b->add(3, "from b"); });
    EXPECT_TRUE(proxy_->tell("seen?any=LOCK:423,PUT:2:styleDatabase.sdb.rev"));
    ASSERT_TRUE(proxy_->tell("release"));
    first.join();
    second.join();

    // The server writes A's next upload but its answer never arrives.
    ASSERT_TRUE(proxy_->tell("drop?method=PUT&suffix=styleDatabase.sdb"));
    a->add(4, "cut off");
    for (int round = 0; round < 2; ++round) {
        a.machine->poll();
        b.machine->poll();
    }
    const std::vector<std::string> all{"alpha", "cut off", "from a", "from b"};
    EXPECT_EQ(cloudNames(), all);
    EXPECT_EQ(sorted(a->names()), all);
    EXPECT_EQ(sorted(b->names()), all);
    EXPECT_TRUE(a->engine->deletedStyles().empty());
    EXPECT_TRUE(b->engine->deletedStyles().empty());

    // Two saves of the same size within a second are both seen, and a poll that finds nothing
    // new reads no library.
    for (const char* description : {"first", "other"}) {
        a->edit(1, description, Date::now());
        b.machine->poll();
        EXPECT_EQ(b->description(1), description);
    }
    const auto before = b.cloud->traffic();
    EXPECT_FALSE(b->engine->poll());
    const std::size_t received = b.cloud->traffic().bytesReceived - before.bytesReceived;
    EXPECT_LT(received, 4096u);
    // The same two requests straight to the server, for docs/benchmarks.md.
    WebDavAccount direct;
    direct.folderURL = parseAccountAddress(server_->baseURL())->location;
    direct.user = kUser;
    direct.password = kPassword;
    WebDavRecordStore store(direct);
    EXPECT_EQ(store.currentTag(kDatabaseRecord).tag, b.cloud->currentTag(kDatabaseRecord).tag);
    EXPECT_TRUE(store.currentTag(kPreferencesRecord).tag);
    const auto idle = store.traffic();
    RecordProperty("idle_poll", std::to_string(idle.requests) + " requests, " +
                                    std::to_string(idle.bytesSent) + " B sent, " +
                                    std::to_string(idle.bytesReceived) + " B received");
}

TEST_P(EveryServer, SetupMakesANewAddressAndADeletedFolderComesBack) {
    const std::string below = "new/deeper/";
    Node a = machine(below);
    const PrepareOutcome prepared = a.cloud->prepare();
    ASSERT_FALSE(prepared.error) << prepared.error->message;
    ASSERT_FALSE(prepared.lines.empty());
    EXPECT_EQ(prepared.lines[0],
              "Made the folder(s) on the server: /dav/new/ /dav/new/deeper/ "
              "/dav/new/deeper/" +
                  std::string(CloudContainerIdentifier) + "/");
    const bool toldOfLock = std::find(prepared.lines.begin(), prepared.lines.end(),
                                      kLockInsteadLine) != prepared.lines.end();
    EXPECT_EQ(toldOfLock, !GetParam().refusesStaleWrites);

    a->add(1, "alpha");
    a->enableAndStart();
    // Another program deletes the folder on the server.
    httplib::Client other("127.0.0.1", server_->port());
    other.set_basic_auth(kUser, kPassword);
    const auto deleted = other.Delete("/dav/new/");
    ASSERT_TRUE(deleted && deleted->status / 100 == 2);
    a->add(2, "beta");  // the upload fails: the folder is gone
    a->poll();
    EXPECT_EQ(cloudNames(below), (std::vector<std::string>{"alpha", "beta"}));
    Node b = machine(below);
    b->enableAndStart();
    EXPECT_EQ(sorted(b->names()), (std::vector<std::string>{"alpha", "beta"}));
}

TEST_P(EveryServer, WithoutLocksOnlyAServerThatRefusesStaleWritesIsUsed) {
    ASSERT_TRUE(proxy_->tell("refuse?method=LOCK&status=405"));
    Node a = machine();
    const PrepareOutcome prepared = a.cloud->prepare();
    if (GetParam().refusesStaleWrites) {
        ASSERT_FALSE(prepared.error) << prepared.error->message;
        EXPECT_EQ(prepared.lines.back(), kConditionalInsteadLine);
        a->add(1, "alpha");
        a->enableAndStart();
        a->add(2, "beta");  // saved over a record written a moment ago
        EXPECT_EQ(cloudNames(), (std::vector<std::string>{"alpha", "beta"}));
        EXPECT_FALSE(a->engine->takeFailure());
    } else {
        ASSERT_TRUE(prepared.error);
        EXPECT_EQ(prepared.error->message, kUnsafeServerText);
        a->add(1, "alpha");
        a->enableAndStart();
        EXPECT_TRUE(cloudNames().empty());  // nothing written unsafely
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, EveryServer,
                         ::testing::Values(ServerCase{DavKind::apache, true},
                                           ServerCase{DavKind::nginx, false},
                                           ServerCase{DavKind::rclone, false},
                                           ServerCase{DavKind::npm, false}),
                         [](const auto& server) { return std::string(nameOf(server.param.kind)); });

}  // namespace
}  // namespace orlavine::sync::testing
