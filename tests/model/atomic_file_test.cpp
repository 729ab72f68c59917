#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include "model/atomic_file.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

using testing::readText;
using testing::TempDir;
using testing::writeText;

std::filesystem::perms permissionsOf(const std::filesystem::path& file) {
    return std::filesystem::status(file).permissions() & std::filesystem::perms::mask;
}

std::size_t entriesIn(const std::filesystem::path& folder) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++n;
    }
    return n;
}

TEST(AtomicFile, ReplacesContentKeepsPermissionsAndLeavesNothingBehind) {
    TempDir dir;
    const auto file = dir / "styledb.sdb";

    ASSERT_TRUE(writeFileAtomically(file, "first version, rather long"));
    EXPECT_EQ(readText(file), "first version, rather long");
    EXPECT_EQ(permissionsOf(file), std::filesystem::perms(0644));

    ASSERT_TRUE(writeFileAtomically(file, std::string("short\0bin", 9)));
    EXPECT_EQ(readText(file), std::string("short\0bin", 9));
    ASSERT_TRUE(writeFileAtomically(file, ""));
    EXPECT_EQ(readText(file), "");
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "a temporary file was left behind";

    std::filesystem::permissions(file, std::filesystem::perms(0600));
    ASSERT_TRUE(writeFileAtomically(file, "private"));
    EXPECT_EQ(permissionsOf(file), std::filesystem::perms(0600));
    std::filesystem::permissions(file, std::filesystem::perms(0640));
    ASSERT_TRUE(writeFileAtomically(file, "group"));
    EXPECT_EQ(permissionsOf(file), std::filesystem::perms(0640));
    EXPECT_EQ(readText(file), "group");
}

TEST(AtomicFile, CreatesMissingFoldersAndFailsCleanlyWhereItCannotWrite) {
    TempDir dir;
    const auto nested = dir / "a" / "b" / "c" / "settings.json";
    ASSERT_TRUE(writeFileAtomically(nested, "{}"));
    EXPECT_EQ(readText(nested), "{}");

    // A folder where the file should be, and a file where a folder should be.
    std::filesystem::create_directory(dir / "taken");
    writeText(dir / "taken" / "inside", "kept");
    Status overFolder = writeFileAtomically(dir / "taken", "x");
    EXPECT_FALSE(overFolder.ok());
    EXPECT_EQ(readText(dir / "taken" / "inside"), "kept");
    writeText(dir / "plain", "plain file");
    EXPECT_FALSE(writeFileAtomically(dir / "plain" / "child", "x").ok());
    EXPECT_EQ(readText(dir / "plain"), "plain file");

    // No temporary file stays behind after a failed replacement.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos)
            << entry.path();
    }
}

TEST(AtomicFile, ReadsWithinTheSizeCapAndRefusesWhatIsNotAReadableFile) {
    TempDir dir;
    const auto file = dir / "data";
    writeText(file, std::string(1000, 'x'));

    auto exact = readWholeFile(file, 1000);
    ASSERT_TRUE(exact.ok()) << exact.error();
    EXPECT_EQ(exact->size(), 1000u);
    auto over = readWholeFile(file, 999);
    ASSERT_FALSE(over.ok());
    EXPECT_NE(over.error().find("too large"), std::string::npos) << over.error();

    writeText(dir / "empty", "");
    auto empty = readWholeFile(dir / "empty", 0);
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(*empty, "");

    EXPECT_FALSE(readWholeFile(dir.path(), 1 << 20).ok());
    EXPECT_FALSE(readWholeFile(dir / "missing", 1 << 20).ok());
    // A device that never ends is refused rather than read without bound.
    EXPECT_FALSE(readWholeFile("/dev/zero", 1 << 20).ok());

    // A FIFO is refused at once rather than waited on for a writer. Should the read wait, a
    // writer is opened after the bound so the test fails instead of hanging.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    auto pending = std::async(std::launch::async, [&] { return readWholeFile(dir / "fifo", 100); });
    const bool answered = pending.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!answered) {
        const int writer = ::open((dir / "fifo").c_str(), O_WRONLY | O_NONBLOCK);
        pending.wait();
        ::close(writer);
    }
    EXPECT_TRUE(answered) << "reading a FIFO waited for a writer";
    const Result<std::string> fifo = pending.get();
    ASSERT_FALSE(fifo.ok());
    EXPECT_NE(fifo.error().find("not a regular file"), std::string::npos) << fifo.error();

    // Through a symbolic link the target is read.
    std::filesystem::create_symlink(file, dir / "link");
    auto linked = readWholeFile(dir / "link", 1000);
    ASSERT_TRUE(linked.ok());
    EXPECT_EQ(linked->size(), 1000u);
}

}  // namespace
}  // namespace orlavine

namespace orlavine {
namespace {

TEST(AtomicFile, StaleTemporariesOfACrashedWriteAreRemovedAndFreshOnesKept) {
    testing::TempDir dir;
    const auto file = dir / "styledb.sdb";
    testing::writeText(file, "{}");
    const auto stale = dir / ".styledb.sdb.tmp-abc123";
    const auto fresh = dir / ".styledb.sdb.tmp-def456";
    const auto other = dir / ".other.sdb.tmp-abc123";
    for (const auto& p : {stale, fresh, other}) {
        testing::writeText(p, "partial");
    }
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(stale, old);
    std::filesystem::last_write_time(other, old);

    removeStaleTemporaries(file, std::chrono::minutes(10));

    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(fresh));  // may belong to a write under way
    EXPECT_TRUE(std::filesystem::exists(other));  // another file's
    EXPECT_EQ(testing::readText(file), "{}");
}

}  // namespace
}  // namespace orlavine

namespace orlavine {
namespace {

// A library kept in a synced folder through a symbolic link: the file the link names is
// replaced (keeping its permissions), the link stays, and no temporary is left on either side.
TEST(AtomicFile, WritesThroughSymbolicLinksAndKeepsThem) {
    struct Case {
        const char* name;
        // Where the link points, relative to the test folder; "" for an absolute path to it.
        std::string relativeTarget;
        bool targetExists;
        bool linkToLink;
    };
    const Case cases[] = {
        {"absolute", "", true, false},
        {"relative", "../synced/styledb.sdb", true, false},
        {"not there yet", "", false, false},
        {"link to a link", "", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        std::filesystem::create_directories(dir / "home");
        std::filesystem::create_directories(dir / "synced");
        const auto target = dir / "synced" / "styledb.sdb";
        if (c.targetExists) {
            testing::writeText(target, "old");
            std::filesystem::permissions(target, std::filesystem::perms(0640));
        }
        const auto link = dir / "home" / "styledb.sdb";
        std::filesystem::path pointsTo =
            c.relativeTarget.empty() ? target : std::filesystem::path(c.relativeTarget);
        if (c.linkToLink) {
            std::filesystem::create_symlink(target, dir / "synced" / "middle");
            pointsTo = dir / "synced" / "middle";
        }
        std::filesystem::create_symlink(pointsTo, link);

        ASSERT_TRUE(writeFileAtomically(link, "new"));
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_EQ(std::filesystem::read_symlink(link), pointsTo);
        EXPECT_EQ(testing::readText(target), "new");
        if (c.targetExists) {
            EXPECT_EQ(permissionsOf(target), std::filesystem::perms(0640));
        }
        EXPECT_EQ(entriesIn(dir / "home"), 1u);
        EXPECT_EQ(entriesIn(dir / "synced"), c.linkToLink ? 2u : 1u);

        // Temporaries that a crash left beside the target are found through the link.
        const auto stale = dir / "synced" / ".styledb.sdb.tmp-abc123";
        testing::writeText(stale, "partial");
        std::filesystem::last_write_time(
            stale, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
        removeStaleTemporaries(link, std::chrono::minutes(10));
        EXPECT_FALSE(std::filesystem::exists(stale));
    }
}

}  // namespace
}  // namespace orlavine
