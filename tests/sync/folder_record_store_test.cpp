// The synced-folder account: conditional saves and change notices from the folder.

#include "sync/folder_record_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/test_support.h"

namespace orlavine::sync {
namespace {

using namespace std::chrono_literals;

TEST(FolderRecordStore, SavesOnlyOverTheTagLastSeen) {
    orlavine::testing::TempDir dir;
    FolderRecordStore store(dir.path());
    const SaveOutcome first = store.save(kPreferencesRecord, "{}", std::nullopt);
    ASSERT_FALSE(first.error);
    // A second create, or a save over a stale tag, is refused and changes nothing.
    EXPECT_EQ(store.save(kPreferencesRecord, "{\"a\":1}", std::nullopt).error->kind,
              CloudError::Kind::conflict);
    const SaveOutcome second = store.save(kPreferencesRecord, "{\"b\":1}", first.tag);
    ASSERT_FALSE(second.error);
    EXPECT_EQ(store.save(kPreferencesRecord, "{\"c\":1}", first.tag).error->kind,
              CloudError::Kind::conflict);
    const FetchOutcome fetched = store.fetch({kPreferencesRecord, kDatabaseRecord});
    ASSERT_TRUE(fetched.records);
    EXPECT_EQ(fetched.records->size(), 1u);
    EXPECT_EQ(fetched.records->at(kPreferencesRecord).body, "{\"b\":1}");
    EXPECT_EQ(fetched.records->at(kPreferencesRecord).tag, second.tag);
    EXPECT_EQ(*store.currentTag(kPreferencesRecord).tag, second.tag);
    EXPECT_FALSE(store.currentTag(kDatabaseRecord).tag);
}

TEST(FolderRecordStore, AFileTooLargeIsAnErrorNotAMissingRecord) {
    orlavine::testing::TempDir dir;
    orlavine::testing::writeText(dir / "styleDatabase.sdb", std::string(2048, 'x'));
    orlavine::testing::writeText(dir / "preferences.json", "{}");
    FolderRecordStore store(dir.path(), 1024);
    const FetchOutcome fetched = store.fetch({kDatabaseRecord, kPreferencesRecord});
    EXPECT_TRUE(fetched.error);
    EXPECT_FALSE(fetched.records);
}

TEST(FolderRecordStore, AChangeByAnotherProgramWakesTheWatcher) {
    orlavine::testing::TempDir dir;
    FolderRecordStore store(dir.path());
    EXPECT_FALSE(store.waitForChange(100ms));
    std::thread other([&] {
        std::this_thread::sleep_for(100ms);
        FolderRecordStore elsewhere(dir.path());
        (void)elsewhere.save(kDatabaseRecord, "{}", std::nullopt);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(store.waitForChange(10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    other.join();
}

}  // namespace
}  // namespace orlavine::sync
