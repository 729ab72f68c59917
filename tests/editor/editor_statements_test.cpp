// What the editor control sends to its page: text literals that a JavaScript engine reads back
// unchanged, the settings routine per window, and ranges in the page's rows and columns.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "editor/editor_statements.h"
#include "support/test_support.h"

namespace orlavine::editor {
namespace {

// What node prints for the script `program`; nothing when node is not installed.
std::optional<std::string> runNode(const std::string& program) {
    testing::TempDir dir;
    const auto script = dir.path() / "literal.js";
    testing::writeText(script, program);
    const std::string command = "node " + script.string() + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string out;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, n);
    }
    return ::pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

TEST(EditorStatements, TextLiteralsReadBackUnchangedInAJavaScriptEngine) {
    const std::vector<std::string> texts = {
        "plain",
        "quotes \" and ' and `",
        "back\\slash\\",
        "tab\tCR\rLF\nCRLF\r\n",
        "separators \u0085 \u2028 \u2029 end",
        "non-BMP 😀 and 名前",
        "a } ); alert(1); (\"",
        "",
    };
    // Prints every literal's UTF-8 bytes in hex, one per line.
    std::string program = "const texts = [";
    for (const std::string& t : texts) {
        program += "\"" + scriptLiteral(t) + "\",";
    }
    program += "];\nfor (const t of texts) console.log(Buffer.from(t, 'utf8').toString('hex'));\n";
    const auto out = runNode(program);
    if (!out) {
        GTEST_SKIP() << "node is not installed";
    }
    std::string expected;
    for (const std::string& t : texts) {
        for (const unsigned char c : t) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", c);
            expected += hex;
        }
        expected += "\n";
    }
    EXPECT_EQ(*out, expected);
    EXPECT_EQ(setValueStatement("a\"b"), "editor.setValue(\"a\\\"b\");");
}

TEST(EditorStatements, TheSettingsRoutineFollowsTheSettingsAndTheWindow) {
    Settings settings;
    settings.theme = "nord";
    settings.showErrors = false;
    settings.wordWrap = false;
    settings.fontFamily = "DejaVu Sans Mono";
    settings.fontSize = 14;
    const auto editor = settingsStatements(settings, Owner::styleEditor, "less");
    const auto has = [](const std::vector<std::string>& list, const std::string& s) {
        return std::find(list.begin(), list.end(), s) != list.end();
    };
    EXPECT_EQ(editor.front(), "editor.setTheme(\"ace/theme/nord_dark\");");
    EXPECT_TRUE(has(editor, "editor.session.setMode(\"ace/mode/less\");"));
    EXPECT_TRUE(has(editor, "editor.setOption(\"useWorker\", false)"));
    EXPECT_TRUE(has(editor, "editor.session.setUseWrapMode(false);"));
    EXPECT_TRUE(has(editor, "editor.setOptions({fontFamily: \"DejaVu Sans Mono\"});"));
    EXPECT_TRUE(has(editor, "editor.setFontSize(14);"));
    EXPECT_EQ(editor.back(), kFocus);

    EXPECT_EQ(settingsStatements(settings, Owner::styleEditor, "css", true).back(), kReadOnly);
    EXPECT_EQ(settingsStatements(settings, Owner::exportSheet).back(), kReadOnly);
    EXPECT_EQ(settingsStatements(settings, Owner::preferencePreview).back(), kReadOnly);
    EXPECT_EQ(settingsStatements(settings, Owner::importSheet).back(), kFocus);

    EXPECT_EQ(themeForKey("solar"), "solarized_dark");
    EXPECT_EQ(themeForKey("no such theme"), "xcode");
    EXPECT_EQ(modeForPreprocessor("stylus"), "stylus");
    EXPECT_EQ(modeForPreprocessor("uso"), "css");
}

TEST(EditorStatements, RangesBecomeTheRowsAndColumnsThePageCounts) {
    struct Case {
        std::u16string text;
        std::size_t location, length;
        Position start, end;
    };
    const std::vector<Case> cases = {
        {u"abc\ndef", 5, 2, {1, 1}, {1, 3}},
        {u"ab\r\ncd\ref", 4, 4, {1, 0}, {2, 1}},    // CR LF and a lone CR each end a row
        {u"\U0001F600x\ny", 2, 3, {0, 2}, {1, 1}},  // a non-BMP character is two units
        {u"ab\u2028cd", 3, 1, {0, 3}, {0, 4}},      // U+2028 does not end a row in the page
        {u"short", 3, 100, {0, 3}, {0, 5}},         // a range past the end stops there
    };
    for (const Case& c : cases) {
        const auto [start, end] = rangePositions(c.text, c.location, c.length);
        EXPECT_EQ(start, c.start) << c.location;
        EXPECT_EQ(end, c.end) << c.location;
    }
    EXPECT_EQ(selectRangeScript({1, 2}, {3, 4}),
              "editor.session.selection.clearSelection();"
              "editor.session.selection.setRange(new Range(1, 2, 3, 4));"
              "editor.centerSelection();");
}

}  // namespace
}  // namespace orlavine::editor
