// Realistic documents (tests/data/usercss) read into what their authors meant: each document's
// style, as the reader gives it, is kept in tests/data/usercss-expected/<name>.json.
// ORLAVINE_WRITE_EXPECTED=1 writes those files anew from the reader (then review the diff).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "document_fixtures.h"
#include "formats/usercss_reader.h"
#include "model/record_json.h"

namespace orlavine {
namespace {

TEST(Fixtures, EveryDocumentReadsIntoItsExpectedStyle) {
    const std::filesystem::path expectedFolder =
        std::filesystem::path(ORLAVINE_TEST_DATA) / "usercss-expected";
    const bool write = std::getenv("ORLAVINE_WRITE_EXPECTED") != nullptr;
    for (const std::string& name : testing::allUsercssFixtures()) {
        SCOPED_TRACE(name);
        auto style = readUserCSS(testing::readFixture(name));
        ASSERT_TRUE(style);
        // What differs from one reading to the next.
        style->uniqueID = 0;
        style->dateModified.reset();
        const std::filesystem::path expectedFile = expectedFolder / (name + ".json");
        if (write) {
            testing::writeText(expectedFile, encodeStyle(*style) + "\n");
            continue;
        }
        const auto expected = decodeStyle(testing::readText(expectedFile));
        ASSERT_TRUE(expected) << expectedFile << ": " << expected.error();
        EXPECT_TRUE(*style == *expected)
            << "read:     " << encodeStyle(*style) << "\nexpected: " << encodeStyle(*expected);
    }
}

}  // namespace
}  // namespace orlavine
