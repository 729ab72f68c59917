// The index kept beside the library: read only for the file it was made from, and never when
// damaged.

#include "model/library_index.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>

#include "model/atomic_file.h"
#include "model/paths.h"
#include "model/record_json.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

styleDatabase fullLibrary() {
    styleDatabase db;
    db.styles = {testing::sampleStyle(1, "One"), testing::sampleStyle(2, "Two")};
    styleContainer& s = db.styles[1];
    s.styleData.sections[0].code = "0";
    s.styleData.sections[0].compiledcode = "1";
    s.styleData.compSections = s.styleData.sections;
    s.exclDomain = std::vector<std::string>{"x.org"};
    s.allowIframe = false;
    s.userVariables = {{"select", "v", "V", "a", std::vector<variableOption>{{"a", "A", "1"}},
                        rangeOpts{0, 10, 0.5, "px"}, "0"}};
    s.dateModified = Date{12.5};
    db.dateModified = Date{-3};
    return db;
}

TEST(LibraryIndex, ReadsBackOnlyWhatWasWrittenForTheSameFile) {
    const styleDatabase db = fullLibrary();
    const std::vector<CodeSpan> spans = {{10, 5, false}, {40, 0, true}};
    const LibraryFileIdentity file{1, 99, 5000, 1'700'000'000'123'456'789};
    const std::string index = encodeLibraryIndex(db, spans, 77, file);

    const auto read = decodeLibraryIndex(index, file);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->records, db);
    EXPECT_EQ(read->spans, spans);
    EXPECT_EQ(read->skeleton, 77U);

    LibraryFileIdentity other = file;
    other.modifiedNanoseconds += 1;
    EXPECT_FALSE(decodeLibraryIndex(index, other));
    for (std::size_t cut :
         {std::size_t{0}, std::size_t{7}, std::size_t{64}, index.size() / 2, index.size() - 1}) {
        EXPECT_FALSE(decodeLibraryIndex(std::string_view(index).substr(0, cut), file)) << cut;
    }
    for (std::size_t at = 0; at < index.size(); at += 13) {
        std::string damaged = index;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        EXPECT_FALSE(decodeLibraryIndex(damaged, file)) << at;
    }
    // A body claiming billions of styles is refused without making room for them.
    std::string huge(8, '\0');  // the library's version, then the count of its styles
    const std::uint32_t count = 0xFFFFFFFF;
    huge.append(reinterpret_cast<const char*>(&count), 4);
    EXPECT_FALSE(detail::decodeLibraryIndexBody(huge));
}

TEST(LibraryIndex, FollowsTheLibraryFileItWasMadeFrom) {
    testing::TempDir dir;
    const auto database = dir.path() / kDatabaseFileName;
    EXPECT_FALSE(indexedRecords(database));
    const styleDatabase db = fullLibrary();
    ASSERT_TRUE(writeFileAtomically(database, encodeDatabase(db)));
    EXPECT_FALSE(indexedRecords(database));

    struct stat info {};
    ASSERT_EQ(::stat(database.c_str(), &info), 0);
    ASSERT_TRUE(writeLibraryIndex(database, db, {}, 0, LibraryFileIdentity::of(info)));
    EXPECT_EQ(indexedRecords(database), db);

    // Any write of the library replaces the file, so the index no longer stands for it.
    ASSERT_TRUE(writeFileAtomically(database, encodeDatabase(db)));
    EXPECT_FALSE(indexedRecords(database));
}

}  // namespace
}  // namespace orlavine
