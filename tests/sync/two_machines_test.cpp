// Two machines, each with its own library and settings, syncing through one account: a real
// Apache WebDAV server on loopback, and a plain shared folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "model/record_json.h"
#include "sync/apache_server.h"
#include "sync/folder_record_store.h"
#include "sync/preferences_record.h"
#include "sync/switchable_store.h"
#include "sync/sync_account.h"
#include "sync/sync_machine.h"
#include "sync/webdav_record_store.h"

namespace orlavine::sync::testing {
namespace {

constexpr const char* kUser = "ann";
constexpr const char* kPassword = "s3cret pass";

enum class Backend { webdav, folder };

// One machine and its own connection to the account.
struct Node {
    std::unique_ptr<RecordStore> backend;
    std::unique_ptr<SwitchableStore> link;
    std::unique_ptr<Machine> machine;
    Machine* operator->() { return machine.get(); }
};

class TwoMachines : public ::testing::TestWithParam<Backend> {
  protected:
    void SetUp() override {
        if (GetParam() == Backend::webdav) {
            if (auto why = ApacheServer::unavailable()) {
                GTEST_SKIP() << *why;
            }
            apache_ = std::make_unique<ApacheServer>(kUser, kPassword);
            ASSERT_TRUE(apache_->failure().empty()) << apache_->failure();
        }
    }

    std::unique_ptr<RecordStore> connect(const std::string& password = kPassword) {
        if (GetParam() == Backend::webdav) {
            WebDavAccount account;
            account.folderURL = parseAccountAddress(apache_->baseURL())->location;
            account.user = kUser;
            account.password = password;
            return std::make_unique<WebDavRecordStore>(account);
        }
        return std::make_unique<FolderRecordStore>(folder_.path());
    }

    Node machine() {
        Node node;
        node.backend = connect();
        node.link = std::make_unique<SwitchableStore>(*node.backend);
        node.machine = std::make_unique<Machine>(*node.link);
        return node;
    }

    // The library the cloud holds now, read by a third party.
    styleDatabase cloudLibrary() {
        const auto store = connect();
        const FetchOutcome f = store->fetch({kDatabaseRecord});
        EXPECT_TRUE(f.records && f.records->contains(kDatabaseRecord));
        if (!f.records || !f.records->contains(kDatabaseRecord)) {
            return {};
        }
        return decodeDatabase(f.records->at(kDatabaseRecord).body).value();
    }

    std::unique_ptr<ApacheServer> apache_;
    orlavine::testing::TempDir folder_;
};

std::vector<std::string> namesOf(const styleDatabase& db) {
    std::vector<std::string> out;
    for (const styleContainer& s : db.styles) {
        out.push_back(s.styleData.name);
    }
    return out;
}

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST_P(TwoMachines, EmptyCloudTakesTheLibraryOnceAndReleasesTheLock) {
    Node a = machine();
    a->add(1, "alpha");
    a->add(2, "beta");
    const styleDatabase before = a->store->snapshot();
    a->enableAndStart();
    EXPECT_FALSE(a->engine->syncInProgress());
    EXPECT_TRUE(a->engine->firstSyncStarted());
    EXPECT_GE(a->count(notifications::kRefreshTable), 1u);
    EXPECT_EQ(a->store->snapshot(), before);
    EXPECT_EQ(cloudLibrary().styles, before.styles);
    const int saves = a.link->saves;
    // Nothing changed since: a poll neither uploads nor downloads.
    const int fetches = a.link->fetches;
    EXPECT_FALSE(a->engine->poll());
    EXPECT_EQ(a.link->saves, saves);
    EXPECT_EQ(a.link->fetches, fetches);
}

TEST_P(TwoMachines, AdditionsMadeApartBothSurvive) {
    Node a = machine();
    Node b = machine();
    a->add(1, "alpha");
    a->enableAndStart();
    b->add(2, "beta");
    b->enableAndStart();
    a->poll();
    EXPECT_EQ(sorted(a->names()), (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_EQ(sorted(b->names()), (std::vector<std::string>{"alpha", "beta"}));

    a.link->offline = true;
    b.link->offline = true;
    a->add(3, "gamma");
    b->add(4, "delta");
    a.link->offline = false;
    b.link->offline = false;
    a->poll();
    b->poll();
    a->poll();
    const std::vector<std::string> all{"alpha", "beta", "delta", "gamma"};
    EXPECT_EQ(sorted(a->names()), all);
    EXPECT_EQ(sorted(b->names()), all);
    EXPECT_EQ(sorted(namesOf(cloudLibrary())), all);
    EXPECT_TRUE(a->engine->deletedStyles().empty());
    EXPECT_TRUE(b->engine->deletedStyles().empty());
}

TEST_P(TwoMachines, ADeletionReachesTheOtherMachineAndCanBeRecovered) {
    Node a = machine();
    Node b = machine();
    a->add(1, "alpha");
    a->add(2, "beta");
    a->enableAndStart();
    b->enableAndStart();
    ASSERT_EQ(sorted(b->names()), (std::vector<std::string>{"alpha", "beta"}));

    a->removeStyle(2);
    b->poll();
    EXPECT_EQ(b->names(), std::vector<std::string>{"alpha"});
    const std::vector<styleContainer> deleted = b->engine->deletedStyles();
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0].styleData.name, "beta");
    EXPECT_GE(b->count(notifications::kDeletedStylesChanged), 1u);
    EXPECT_GE(b->count(notifications::kCloseProperties), 1u);

    // A later run of the program on that machine still lists it.
    {
        SyncServices again;
        again.store = b->store.get();
        again.settings = &b->settings;
        again.notifications = &b->center;
        again.reporter = &b->reporter;
        again.cloud = b.link.get();
        again.stateFolder = b->dir.path() / "data";
        EXPECT_EQ(SyncEngine(again).deletedStyles().size(), 1u);
    }

    EXPECT_EQ(b->engine->recover({0}), 1u);
    EXPECT_TRUE(b->engine->deletedStyles().empty());
    EXPECT_EQ(b->names(), (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_EQ(b->store->styleByID(2)->dateModified, deleted[0].dateModified);
    EXPECT_EQ(b->count(notifications::kRefreshTableAndScroll), 1u);
    a->poll();
    EXPECT_EQ(a->names(), (std::vector<std::string>{"alpha", "beta"}));
}

TEST_P(TwoMachines, AnEditOnBothEndsKeepsTheLaterOneAndEqualDatesKeepTheCloudCopy) {
    Node a = machine();
    Node b = machine();
    a->add(1, "alpha");
    a->enableAndStart();
    b->enableAndStart();

    const Date now = Date::now();
    a.link->offline = true;
    b.link->offline = true;
    a->edit(1, "from a", Date{now.sinceReference + 10});
    b->edit(1, "from b", Date{now.sinceReference + 20});
    a.link->offline = false;
    b.link->offline = false;
    a->poll();  // a's edit reaches the cloud first
    b->poll();  // b's later edit wins over it
    a->poll();
    EXPECT_EQ(a->description(1), "from b");
    EXPECT_EQ(b->description(1), "from b");

    a.link->offline = true;
    b.link->offline = true;
    a->edit(1, "same time a", Date{now.sinceReference + 30});
    b->edit(1, "same time b", Date{now.sinceReference + 30});
    a.link->offline = false;
    b.link->offline = false;
    a->poll();
    b->poll();  // equal dates: the cloud copy (a's) stays
    a->poll();
    EXPECT_EQ(a->description(1), "same time a");
    EXPECT_EQ(b->description(1), "same time a");
}

TEST_P(TwoMachines, ARemoteChangeReplacesAnOlderCopyAndClosesItsEditor) {
    Node a = machine();
    Node b = machine();
    a->add(1, "alpha");
    a->enableAndStart();
    b->enableAndStart();
    b->engine->setOpenStyleIDs({1});
    a->edit(1, "newer", Date::now());
    b->poll();
    EXPECT_EQ(b->description(1), "newer");
    EXPECT_EQ(b->reporter.alerts, std::vector<std::string>{kOpenStylesChangedTitle});
    EXPECT_EQ(b->count(notifications::kStylesChangedInCloud), 1u);
}

TEST_P(TwoMachines, APreferencesRecordWithoutAKeyLeavesThatSetting) {
    Node a = machine();
    ASSERT_TRUE(a->settings.app.set(keys::kEditorFontSize, 16));
    ASSERT_TRUE(a->settings.shared.set(keys::kToggleShortcut, false));
    a->enableAndStart();

    // Another program writes a record that lacks DefaultAuthor.
    const auto store = connect();
    const FetchOutcome f = store->fetch({kPreferencesRecord});
    ASSERT_TRUE(f.records && f.records->contains(kPreferencesRecord));
    const SaveOutcome saved =
        store->save(kPreferencesRecord, R"({"ACEFontSize":20,"toggleShortcut":0,"ACEWordWrap":0})",
                    f.records->at(kPreferencesRecord).tag);
    ASSERT_FALSE(saved.error) << saved.error->message;

    Node b = machine();
    ASSERT_TRUE(b->settings.app.set(keys::kDefaultAuthor, "Bob"));
    b->settings.shared.registerDefault(keys::kToggleShortcut, true);
    b->enableAndStart();
    EXPECT_EQ(b->settings.app.intValue(keys::kEditorFontSize), 20);
    EXPECT_FALSE(b->settings.app.boolValue(keys::kEditorWordWrap));
    EXPECT_FALSE(b->settings.shared.boolValue(keys::kToggleShortcut));
    EXPECT_EQ(b->settings.app.stringValue(keys::kDefaultAuthor), "Bob");
    EXPECT_EQ(b->count(notifications::kPrefsChangedRemotely), 1u);

    // A change pushed from b reaches a at its next poll.
    ASSERT_TRUE(b->settings.app.set(keys::kEditorFontSize, 13));
    b->engine->pushPreferences();
    a->poll();
    EXPECT_EQ(a->settings.app.intValue(keys::kEditorFontSize), 13);
    EXPECT_EQ(a->settings.app.stringValue(keys::kDefaultAuthor), "Bob");
}

TEST_P(TwoMachines, ASaveThatLosesARaceDoesNotOverwriteTheOtherLibrary) {
    Node a = machine();
    Node b = machine();
    a->add(1, "alpha");
    a->enableAndStart();
    b->enableAndStart();
    a->add(2, "from a");
    // b still holds the tag of its last fetch: its save must be refused.
    b->add(3, "from b");
    EXPECT_EQ(sorted(namesOf(cloudLibrary())), (std::vector<std::string>{"alpha", "from a"}));
    // At its next poll b merges instead, and both additions survive.
    b->poll();
    a->poll();
    const std::vector<std::string> all{"alpha", "from a", "from b"};
    EXPECT_EQ(sorted(a->names()), all);
    EXPECT_EQ(sorted(b->names()), all);
}

TEST_P(TwoMachines, AStartOfSyncRunsTheRequestsQueuedBeforeIt) {
    Node a = machine();
    a->add(1, "alpha");
    a->enableAndStart();
    Node b = machine();
    b->engine->setPendingOpenRequest(1);
    b->engine->setFirstUpdatePending(true);
    b->enableAndStart();
    EXPECT_EQ(b->count(notifications::kPerformFirstUpdate), 1u);
    ASSERT_EQ(b->count(notifications::kOpenStyleNotif), 1u);
    const auto open = std::find_if(b->posted.begin(), b->posted.end(), [](const Notification& n) {
        return n.name == notifications::kOpenStyleNotif;
    });
    EXPECT_EQ(std::get<std::int64_t>(open->userInfo.at("id")), 1);
    // Both are done once.
    b->engine->startCloudSync();
    EXPECT_EQ(b->count(notifications::kPerformFirstUpdate), 1u);
    EXPECT_EQ(b->count(notifications::kOpenStyleNotif), 1u);
}

TEST_P(TwoMachines, NothingHappensWhileSyncIsOff) {
    Node a = machine();
    a->add(1, "alpha");
    a->engine->startCloudSync();
    a->engine->handleRemoteChange();
    a->engine->poll();
    a->engine->pushPreferences();
    ASSERT_EQ(a->store->rename(1, "renamed"), true);
    EXPECT_EQ(a.link->fetches, 0);
    EXPECT_EQ(a.link->saves, 0);
    EXPECT_TRUE(a->posted.empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, TwoMachines, ::testing::Values(Backend::webdav, Backend::folder),
                         [](const auto& param) {
                             return param.param == Backend::webdav ? "WebDav" : "Folder";
                         });

}  // namespace
}  // namespace orlavine::sync::testing
