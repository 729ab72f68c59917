// The import, new and export subcommands of the orlavine program, run on real documents.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "formats/usercss_reader.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

using testing::readText;

const std::filesystem::path kProgram =
    std::filesystem::path(ORLAVINE_BINARY_DIR) / "app" / "orlavine";
const std::filesystem::path kDocuments = std::filesystem::path(ORLAVINE_TEST_DATA) / "usercss";

struct Outcome {
    int status = -1;
    std::string out;
};

// Runs the program with `arguments` (already quoted), standard error folded into the output.
Outcome run(const std::string& arguments) {
    Outcome result;
    FILE* pipe = ::popen((kProgram.string() + " " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.out.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::vector<std::string> importedIDs(const std::string& out) {
    std::vector<std::string> ids;
    const std::regex line("Imported .* with ID (\\d+)\\.");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator();
         ++it) {
        ids.push_back((*it)[1]);
    }
    return ids;
}

class FormatCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(kProgram)) {
            GTEST_SKIP() << kProgram << " is not built";
        }
    }
    testing::IsolatedHome home;
};

TEST_F(FormatCommands, ImportedDocumentsExportAsDocumentsThatReadTheSame) {
    const Outcome imported = run("import '" + (kDocuments / "dark-theme.user.css").string() +
                                 "' '" + (kDocuments / "every-variable.user.css").string() + "'");
    ASSERT_EQ(imported.status, 0) << imported.out;
    const std::vector<std::string> ids = importedIDs(imported.out);
    ASSERT_EQ(ids.size(), 2u) << imported.out;
    EXPECT_NE(imported.out.find("Imported Midnight Reader"), std::string::npos);

    const std::filesystem::path file = home.data() / "out" / "midnight.user.css";
    std::filesystem::create_directories(file.parent_path());
    const Outcome exported = run("export " + ids[0] + " -o '" + file.string() + "'");
    ASSERT_EQ(exported.status, 0) << exported.out;
    const auto original = readUserCSS(readText(kDocuments / "dark-theme.user.css"));
    const auto written = readUserCSS(readText(file));
    ASSERT_TRUE(original && written);
    EXPECT_EQ(written->styleData.sections, original->styleData.sections);

    // Without -o the document goes to standard output, exactly as written to a file.
    const Outcome printed = run("export " + ids[0]);
    EXPECT_EQ(printed.status, 0);
    EXPECT_EQ(printed.out, readText(file));

    const Outcome again = run("import '" + file.string() + "'");
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_NE(importedIDs(again.out).at(0), ids[0]);
}

TEST_F(FormatCommands, NewStylesAndTheirRules) {
    const Outcome created =
        run("new '  Reading mode ' --url https://a.example/ --preprocessor stylus");
    ASSERT_EQ(created.status, 0) << created.out;
    const std::smatch match = [&] {
        std::smatch m;
        std::regex_search(created.out, m, std::regex("Created Reading mode with ID (\\d+)\\."));
        return m;
    }();
    ASSERT_FALSE(match.empty()) << created.out;
    const Outcome exported = run("export " + match[1].str());
    EXPECT_NE(exported.out.find("@preprocessor\tstylus\n"), std::string::npos) << exported.out;
    EXPECT_NE(exported.out.find("@-moz-document url(\"https://a.example/\")"), std::string::npos);
    EXPECT_NE(exported.out.find("@author\t\t\tOrlavine User\n"), std::string::npos);

    // Refused: two rules, an unknown preprocessor, a blank name. Nothing is added.
    EXPECT_NE(run("new x --domain a --regexp b").status, 0);
    EXPECT_NE(run("new x --preprocessor sass").status, 0);
    EXPECT_EQ(run("new '   '").status, 2);
    EXPECT_EQ(run("list").out.find(" x\n"), std::string::npos);
}

TEST_F(FormatCommands, FailuresEndWithAFailureStatus) {
    const std::filesystem::path bad = home.data() / "bad.css";
    testing::writeText(bad, "@-moz-document domain(x) {}");
    const Outcome invalid = run("import '" + bad.string() + "'");
    EXPECT_EQ(invalid.status, 1);
    EXPECT_NE(invalid.out.find("Invalid Style: There was an error importing the file \"bad.css.\""),
              std::string::npos)
        << invalid.out;
    EXPECT_EQ(run("import '" + (home.data() / "missing.css").string() + "'").status, 1);
    // A plain file is imported, with the no-rules notice, and counts as success.
    const std::filesystem::path plain = home.data() / "plain.css";
    testing::writeText(plain, "body { margin: 0 }");
    const Outcome added = run("import '" + plain.string() + "'");
    EXPECT_EQ(added.status, 0) << added.out;
    EXPECT_NE(added.out.find("CSS File Imported With No Rules"), std::string::npos);

    EXPECT_EQ(run("export 12x").status, 2);
    EXPECT_EQ(run("export 5").status, 1);
    EXPECT_EQ(run("export " + importedIDs(added.out).at(0) + " -o /nonexistent/dir/x.css").status,
              1);
}

}  // namespace
}  // namespace orlavine
