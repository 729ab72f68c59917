// Replays the fuzz corpora of the style-document readers (tests/fuzz/corpus) through the same
// checks the fuzz targets make, so what fuzzing found stays fixed.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/formats_fuzz_checks.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

using Check = std::function<std::optional<std::string>(std::string_view)>;

void replay(const std::string& reader, const Check& check) {
    const std::filesystem::path folder =
        std::filesystem::path(ORLAVINE_SOURCE_DIR) / "tests" / "fuzz" / "corpus" / reader;
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string input = testing::readText(entry.path());
        const std::optional<std::string> problem = check(input);
        EXPECT_FALSE(problem) << entry.path() << ": " << problem.value_or("");
        ++count;
    }
    EXPECT_GT(count, 0) << folder;
}

TEST(FuzzCorpus, UserCSSDocuments) {
    replay("usercss", testing::usercssProblem);
}

TEST(FuzzCorpus, MozDocumentBlocks) {
    replay("moz_document", testing::mozDocumentProblem);
}

TEST(FuzzCorpus, MozDocumentRules) {
    replay("moz_document_rules", testing::mozDocumentRulesProblem);
}

TEST(FuzzCorpus, VariableDeclarations) {
    replay("variable_declaration", testing::variableDeclarationProblem);
}

}  // namespace
}  // namespace orlavine
