// Faults of the account: error statuses, a connection cut mid-upload, a broken or foreign
// library file, a huge one, the network dropping between fetch and save. The library here is
// never lost or replaced by a broken copy, and the next poll tries again.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "model/config.h"
#include "model/record_json.h"
#include "sync/apache_server.h"
#include "sync/fake_http_server.h"
#include "sync/switchable_store.h"
#include "sync/sync_account.h"
#include "sync/sync_machine.h"
#include "sync/webdav_record_store.h"

namespace orlavine::sync::testing {
namespace {

using orlavine::testing::sampleStyle;

std::string cloudLibraryJSON() {
    styleDatabase db;
    styleContainer theirs = sampleStyle(50, "theirs");
    theirs.styleData.sections[0].code = "/* theirs */";
    db.styles.push_back(theirs);
    db.randomHash = 7;
    db.dateModified = Date{100};
    return encodeDatabase(db);
}

// A WebDAV account on the fake server whose answers the test decides.
struct FakeAccount {
    explicit FakeAccount(FakeHttpServer::Handler handler) : server(std::move(handler)) {
        WebDavAccount account;
        account.folderURL = server.url() + "lib/";
        account.user = "ann";
        account.password = "pw";
        account.totalTimeout = std::chrono::seconds(10);
        store = std::make_unique<WebDavRecordStore>(account);
    }
    std::vector<FakeRequest> puts() {
        std::vector<FakeRequest> out;
        for (const FakeRequest& r : server.requests()) {
            if (r.method == "PUT" && r.path.ends_with("styleDatabase.sdb")) {
                out.push_back(r);
            }
        }
        return out;
    }
    FakeHttpServer server;
    std::unique_ptr<WebDavRecordStore> store;
};

// Serves the library and takes WebDAV locks; answers every save of the library with
// `putStatus` (0: cut the upload), keeping what a successful one sent.
FakeHttpServer::Handler serving(const std::string& library, int putStatus) {
    struct Files {
        std::map<std::string, std::string> bodies;
        bool locked = false;
    };
    auto files = std::make_shared<Files>();
    files->bodies["/lib/styleDatabase.sdb"] = library;
    return [files, putStatus](const FakeRequest& r) {
        FakeReply reply;
        if (r.method == "PROPFIND") {
            reply.status = 207;  // the folder exists
        } else if (r.method == "LOCK") {
            reply.status = files->locked ? 423 : 200;
            reply.headers = {"Lock-Token: <urn:uuid:1>"};
            files->locked = true;
        } else if (r.method == "UNLOCK") {
            reply.status = 204;
            files->locked = false;
        } else if (r.method == "PUT" && r.path.ends_with("styleDatabase.sdb")) {
            reply.status = putStatus;
            reply.cutAfterBodyBytes = putStatus == 0 ? 100 : std::string::npos;
            if (putStatus / 100 == 2) {
                files->bodies[r.path] = r.body;
            }
        } else if (r.method == "PUT") {
            files->bodies[r.path] = r.body;
            reply.status = 201;
        } else if (r.method == "DELETE") {
            files->bodies.erase(r.path);
            reply.status = 204;
        } else if (r.method == "GET" && files->bodies.contains(r.path)) {
            reply.body = files->bodies[r.path];
        } else {
            reply.status = 404;
        }
        return reply;
    };
}

class Faults : public ::testing::Test {
  protected:
    void start(RecordStore& cloud) {
        machine = std::make_unique<Machine>(cloud);
        machine->add(1, "mine");
        machine->engine->enableSync();
        localBefore = machine->store->snapshot();
        machine->engine->startCloudSync();
    }
    // The library file on disk reads back whole and holds these styles.
    std::vector<std::string> fileNames() {
        const auto db = decodeDatabase(orlavine::testing::readText(machine->store->databaseFile()));
        EXPECT_TRUE(db.ok());
        std::vector<std::string> names;
        for (const styleContainer& s : db->styles) {
            names.push_back(s.styleData.name);
        }
        return names;
    }
    std::unique_ptr<Machine> machine;
    styleDatabase localBefore;
};

TEST_F(Faults, ServerErrorsLeaveTheLibraryAndReleaseTheLock) {
    FakeAccount account([](const FakeRequest&) { return FakeReply{500, {}, "oops"}; });
    start(*account.store);
    EXPECT_EQ(machine->store->snapshot(), localBefore);
    EXPECT_FALSE(machine->engine->syncInProgress());
    EXPECT_EQ(machine->count(notifications::kCloudError), 1u);
    EXPECT_TRUE(machine->useCloud());
    EXPECT_TRUE(account.puts().empty());
    EXPECT_EQ(fileNames(), std::vector<std::string>{"mine"});
}

TEST_F(Faults, AFullAccountOrACutUploadIsRetriedAtTheNextPoll) {
    for (const int failure : {507, 500, 0}) {
        SCOPED_TRACE(failure);
        FakeAccount account(serving(cloudLibraryJSON(), failure));
        start(*account.store);
        // The merge is kept here even though the upload failed.
        const std::vector<std::string> merged{"theirs", "mine"};
        EXPECT_EQ(machine->names(), merged);
        EXPECT_EQ(fileNames(), merged);
        ASSERT_EQ(account.puts().size(), 1u);

        account.server.setHandler(serving(cloudLibraryJSON(), 204));
        EXPECT_FALSE(machine->engine->poll());
        ASSERT_EQ(account.puts().size(), 2u);
        const auto sent = decodeDatabase(account.puts()[1].body);
        ASSERT_TRUE(sent.ok());
        EXPECT_EQ(sent->styles, machine->store->snapshot().styles);
        // Once the cloud has it, polls upload nothing more.
        machine->engine->poll();
        EXPECT_EQ(account.puts().size(), 2u);
    }
}

TEST_F(Faults, ATruncatedOrForeignCloudFileIsNeitherMergedNorOverwritten) {
    const std::string valid = cloudLibraryJSON();
    for (const std::string& broken :
         {valid.substr(0, valid.size() / 2), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
          std::string(R"({"styles":"not a list","randomHash":1})")}) {
        FakeAccount account(serving(broken, 204));
        start(*account.store);
        EXPECT_EQ(machine->store->snapshot(), localBefore);
        EXPECT_EQ(fileNames(), std::vector<std::string>{"mine"});
        EXPECT_TRUE(account.puts().empty());
        EXPECT_FALSE(machine->engine->syncInProgress());
        EXPECT_NE(std::find(machine->reporter.lines.begin(), machine->reporter.lines.end(),
                            kErrorDecodingCloudLine),
                  machine->reporter.lines.end());
        EXPECT_EQ(machine->reporter.alerts, std::vector<std::string>{kErrorReadingCloudTitle});
    }
}

TEST_F(Faults, AWrongPasswordTurnsSyncOff) {
    if (auto why = ApacheServer::unavailable()) {
        GTEST_SKIP() << *why;
    }
    ApacheServer apache("ann", "right");
    ASSERT_TRUE(apache.failure().empty()) << apache.failure();
    WebDavAccount account;
    account.folderURL = parseAccountAddress(apache.baseURL())->location;
    account.user = "ann";
    account.password = "wrong";
    WebDavRecordStore store(account);
    EXPECT_EQ(store.checkAccount()->kind, CloudError::Kind::notAuthenticated);
    start(store);
    EXPECT_FALSE(machine->useCloud());
    EXPECT_FALSE(machine->engine->syncInProgress());
    EXPECT_GE(machine->count(notifications::kRefreshTable), 1u);
    EXPECT_EQ(machine->store->snapshot(), localBefore);
    // With sync off, later saves and polls leave the account alone.
    machine->add(2, "later");
    EXPECT_FALSE(machine->engine->poll());
}

TEST_F(Faults, AHugeCloudFileIsRefusedWithoutReadingIt) {
    if (auto why = ApacheServer::unavailable()) {
        GTEST_SKIP() << *why;
    }
    ApacheServer apache("ann", "pw");
    ASSERT_TRUE(apache.failure().empty()) << apache.failure();
    const std::filesystem::path folder = apache.davFolder() / CloudContainerIdentifier;
    std::filesystem::create_directories(folder);
    // A sparse 1 GB file: cheap on disk, and a real server sends it as 1 GB.
    const std::filesystem::path huge = folder / "styleDatabase.sdb";
    {
        const int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 1024L * 1024L * 1024L), 0);
        ::close(fd);
    }
    WebDavAccount account;
    account.folderURL = parseAccountAddress(apache.baseURL())->location;
    account.user = "ann";
    account.password = "pw";
    WebDavRecordStore store(account);
    const auto started = std::chrono::steady_clock::now();
    start(store);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(machine->store->snapshot(), localBefore);
    EXPECT_EQ(fileNames(), std::vector<std::string>{"mine"});
    EXPECT_EQ(std::filesystem::file_size(huge), 1024uL * 1024uL * 1024uL);
    EXPECT_TRUE(machine->useCloud());
}

TEST_F(Faults, ALargeRecordIsPolledAndSavedOverWithoutTouchingItsBody) {
    if (auto why = ApacheServer::unavailable()) {
        GTEST_SKIP() << *why;
    }
    ApacheServer apache("ann", "pw");
    ASSERT_TRUE(apache.failure().empty()) << apache.failure();
    WebDavAccount account;
    account.folderURL = parseAccountAddress(apache.baseURL())->location;
    account.user = "ann";
    account.password = "pw";
    WebDavRecordStore store(account);
    ASSERT_FALSE(store.checkAccount());
    const std::string big(3 * 1024 * 1024, 'x');
    const SaveOutcome first = store.save(kDatabaseRecord, big, std::nullopt);
    ASSERT_FALSE(first.error) << first.error->message;
    // The tag of a record far larger than any reply is read from the small file beside it, and a
    // save right after the first one is not refused by the server's own tags.
    const auto before = store.traffic();
    const TagOutcome tag = store.currentTag(kDatabaseRecord);
    ASSERT_FALSE(tag.error) << tag.error->message;
    EXPECT_EQ(*tag.tag, first.tag);
    EXPECT_LT(store.traffic().bytesReceived - before.bytesReceived, 4096u);
    const SaveOutcome second = store.save(kDatabaseRecord, big + "y", first.tag);
    ASSERT_FALSE(second.error) << second.error->message;
    EXPECT_EQ(store.save(kDatabaseRecord, big, first.tag).error->kind, CloudError::Kind::conflict);
}

TEST_F(Faults, TheNetworkDroppingBetweenFetchAndSaveLosesNothing) {
    if (auto why = ApacheServer::unavailable()) {
        GTEST_SKIP() << *why;
    }
    ApacheServer apache("ann", "pw");
    ASSERT_TRUE(apache.failure().empty()) << apache.failure();
    WebDavAccount account;
    account.folderURL = parseAccountAddress(apache.baseURL())->location;
    account.user = "ann";
    account.password = "pw";
    WebDavRecordStore store(account);
    ASSERT_FALSE(store.checkAccount());
    ASSERT_FALSE(store.save(kDatabaseRecord, cloudLibraryJSON(), std::nullopt).error);

    SwitchableStore link(store);
    link.dropAfterFetch = true;
    start(link);
    const std::vector<std::string> merged{"theirs", "mine"};
    EXPECT_EQ(machine->names(), merged);
    EXPECT_EQ(fileNames(), merged);
    EXPECT_EQ(decodeDatabase(store.fetch({kDatabaseRecord}).records->at(kDatabaseRecord).body)
                  ->styles.size(),
              1u);
    link.offline = false;
    machine->engine->poll();
    const auto cloud =
        decodeDatabase(store.fetch({kDatabaseRecord}).records->at(kDatabaseRecord).body);
    ASSERT_TRUE(cloud.ok());
    EXPECT_EQ(cloud->styles, machine->store->snapshot().styles);
}

}  // namespace
}  // namespace orlavine::sync::testing

namespace orlavine::sync::testing {
namespace {

// A cloud whose library fetch waits until the test lets it go, as a slow network does.
class HeldCloud : public RecordStore {
  public:
    FetchOutcome fetch(const std::vector<std::string>&) override {
        std::unique_lock lock(mutex_);
        inside_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
        return {std::nullopt, std::map<std::string, RemoteRecord>{}};
    }
    TagOutcome currentTag(const std::string&) override { return {}; }
    SaveOutcome save(const std::string&, std::string_view,
                     const std::optional<std::string>&) override {
        return {std::nullopt, "tag"};
    }
    std::optional<CloudError> checkAccount() override { return std::nullopt; }
    bool waitForChange(std::chrono::milliseconds) override { return true; }

    void waitUntilInside() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return inside_; });
    }
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool inside_ = false;
    bool released_ = false;
};

// While a sync waits on the network, the windows can still ask how it goes and change the
// library, and an observer of its notices may ask the engine again without a deadlock.
TEST(SyncEngineLocks, QueriesAndChangesNeverWaitForTheNetwork) {
    HeldCloud cloud;
    Machine machine(cloud);
    machine.add(1, "mine");
    ASSERT_TRUE(machine.settings.app.set(keys::kUseCloud, true));
    std::atomic<int> askedFromObserver{0};
    machine.center.addObserver(notifications::kRefreshTable, [&](const Notification&) {
        askedFromObserver += machine.engine->syncInProgress() ? 0 : 1;
        (void)machine.engine->deletedStyles();
    });
    std::thread sync([&] { machine.engine->startCloudSync(); });
    cloud.waitUntilInside();
    EXPECT_TRUE(machine.engine->syncInProgress());
    EXPECT_TRUE(machine.engine->deletedStyles().empty());
    EXPECT_TRUE(machine.store->add(orlavine::testing::sampleStyle(2, "added meanwhile")));
    cloud.release();
    sync.join();
    EXPECT_FALSE(machine.engine->syncInProgress());
    EXPECT_EQ(askedFromObserver.load(), 1);
    EXPECT_EQ(machine.names(), (std::vector<std::string>{"mine", "added meanwhile"}));
}

// The alerts and console lines name what the user has here: the cloud library they set up.
TEST(SyncTexts, NameTheCloudLibraryAndNoOtherPlatformsService) {
    for (const char* text :
         {kErrorDecodingCloudLine, kErrorReadingCloudTitle, kErrorReadingCloudText,
          kOpenStylesChangedTitle, kOpenStylesChangedText}) {
        const std::string_view t(text);
        for (const char* foreign : {"iCloud", "Safari", "macOS", "Mac "}) {
            EXPECT_EQ(t.find(foreign), std::string_view::npos) << text;
        }
    }
    EXPECT_EQ(std::string_view(kErrorDecodingCloudLine), "Error decoding the cloud library.");
}

}  // namespace
}  // namespace orlavine::sync::testing
