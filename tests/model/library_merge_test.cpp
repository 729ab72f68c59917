#include "model/library_merge.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "model/record_json.h"
#include "model/style_store.h"
#include "model/variable_carry.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::readText;
using testing::sampleStyle;
using testing::TempDir;
using testing::writeText;

std::vector<std::string> names(const styleDatabase& db) {
    std::vector<std::string> result;
    for (const styleContainer& s : db.styles) {
        result.push_back(s.styleData.name);
    }
    return result;
}

styleContainer catalogueStyle(std::int64_t uniqueID, std::int64_t userstyleID,
                              const std::string& name) {
    styleContainer s = sampleStyle(uniqueID, name);
    s.source = "usorg";
    s.userstyleID = userstyleID;
    return s;
}

styleContainer userCSSStyle(std::int64_t uniqueID, const std::string& name,
                            const std::string& downloadedFrom) {
    styleContainer s = sampleStyle(uniqueID, name);
    s.source = "usercss";
    s.downloadedFrom = downloadedFrom;
    return s;
}

TEST(LibraryMerge, CatalogueNumberAndContentDecideWhatIsAlreadyThere) {
    styleDatabase library;
    library.styles = {catalogueStyle(1, 500, "Catalogue"), sampleStyle(2, "Mine")};

    styleDatabase incoming;
    // Same catalogue number, different content: the catalogue number wins.
    incoming.styles.push_back(catalogueStyle(3, 500, "Newer catalogue copy"));
    // Same code, other metadata and compiled sections: the same style.
    styleContainer sameCode = sampleStyle(4, "Mine");
    sameCode.author = "someone else";
    sameCode.isEnabled = false;
    sameCode.styleData.compSections = std::vector<styleSection>{styleSection{}};
    incoming.styles.push_back(sameCode);
    // One section field differs: another style.
    styleContainer otherCompiled = sampleStyle(5, "Mine");
    otherCompiled.styleData.sections[0].compiledcode = "body{color:red}";
    incoming.styles.push_back(otherCompiled);
    // Two unknown styles with -1 as their catalogue number are not matched to each other by it.
    incoming.styles.push_back(sampleStyle(6, "Fresh A"));
    incoming.styles.push_back(sampleStyle(7, "Fresh B"));
    // A copy of a style added earlier in the same merge.
    incoming.styles.push_back(sampleStyle(8, "Fresh A"));
    // Each of the other hashed members tells styles apart.
    for (std::string styleJSON::*member :
         {&styleJSON::url, &styleJSON::updateUrl, &styleJSON::md5Url, &styleJSON::originalMd5}) {
        styleContainer s = sampleStyle(20, "Mine");
        s.styleData.*member = "differs";
        incoming.styles.push_back(s);
    }

    const MergeOutcome outcome = mergeStyles(library, incoming);
    EXPECT_EQ(outcome.added, 7u);
    EXPECT_EQ(outcome.skipped, 3u);
    EXPECT_THAT(names(library), ElementsAre("Catalogue", "Mine", "Mine", "Fresh A", "Fresh B",
                                            "Mine", "Mine", "Mine", "Mine"));
    EXPECT_EQ(library.styles[0].styleData.name, "Catalogue");
}

TEST(LibraryMerge, UserCSSStylesAreMatchedByAddressUpdateAddressOrContent) {
    styleDatabase library;
    library.styles.push_back(userCSSStyle(1, "Installed", "https://a.example/one.user.css"));
    styleContainer withUpdate = userCSSStyle(2, "Has update address", "https://b.example/x");
    withUpdate.updateURL = "https://b.example/two.user.css";
    library.styles.push_back(withUpdate);
    styleContainer blankUpdate = userCSSStyle(3, "Blank update address", "https://c.example/y");
    blankUpdate.updateURL = "  ";
    library.styles.push_back(blankUpdate);
    styleContainer custom = sampleStyle(4, "Custom from address");
    custom.downloadedFrom = "https://d.example/four.user.css";
    library.styles.push_back(custom);

    struct Case {
        const char* what;
        styleContainer incoming;
        bool duplicate;
    };
    std::vector<Case> cases;
    cases.push_back({"same address installed from",
                     userCSSStyle(10, "Changed code", "https://a.example/one.user.css"), true});
    styleContainer sameUpdate = userCSSStyle(11, "Changed code", "https://e.example/other");
    sameUpdate.updateURL = "https://b.example/two.user.css";
    cases.push_back({"same update address", sameUpdate, true});
    styleContainer blank = userCSSStyle(12, "Changed code", "https://f.example/other");
    blank.updateURL = "  ";
    cases.push_back({"blank update addresses do not count", blank, false});
    cases.push_back({"same content",
                     userCSSStyle(13, "Installed", "https://g.example/elsewhere.user.css"), true});
    cases.push_back({"same address as a style that is not UserCSS",
                     userCSSStyle(14, "Changed code", "https://d.example/four.user.css"), false});
    styleContainer noAddress = userCSSStyle(15, "Changed code", "");
    noAddress.updateURL = "https://b.example/two.user.css";
    cases.push_back({"without an address only the content counts", noAddress, false});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(isAlreadyInLibrary(library, c.incoming), c.duplicate);
        styleDatabase merged = library;
        styleDatabase incoming;
        incoming.styles = {c.incoming};
        const MergeOutcome outcome = mergeStyles(merged, incoming);
        EXPECT_EQ(merged.styles.size(), library.styles.size() + (c.duplicate ? 0 : 1));
        EXPECT_EQ(outcome.added, c.duplicate ? 0u : 1u);
    }
}

TEST(LibraryMerge, TakenIdentifiersAreReplacedAndFreeOnesKept) {
    styleDatabase library;
    library.styles = {sampleStyle(1, "One"), sampleStyle(2, "Two")};
    styleDatabase incoming;
    incoming.styles = {sampleStyle(2, "Clash"), sampleStyle(3, "Free"), sampleStyle(3, "Clash 2")};

    mergeStyles(library, incoming);
    ASSERT_EQ(library.styles.size(), 5u);
    EXPECT_THAT(names(library), ElementsAre("One", "Two", "Clash", "Free", "Clash 2"));
    EXPECT_EQ(library.styles[1].uniqueID, 2);
    EXPECT_EQ(library.styles[3].uniqueID, 3);
    std::set<std::int64_t> ids;
    for (const styleContainer& s : library.styles) {
        ids.insert(s.uniqueID);
    }
    EXPECT_EQ(ids.size(), 5u) << "every style keeps an identifier of its own";
    // Apart from the identifier the added style is stored as it came.
    styleContainer clash = library.styles[2];
    clash.uniqueID = 2;
    EXPECT_EQ(clash, incoming.styles[0]);
}

class RecordingReporter : public Reporter {
  public:
    void consoleLine(std::string_view line) override {
        std::lock_guard lock(mutex_);
        lines.emplace_back(line);
    }
    void showAlert(std::string_view message, std::string_view informative) override {
        std::lock_guard lock(mutex_);
        alerts.push_back(std::string(message) + " / " + std::string(informative));
    }
    std::mutex mutex_;
    std::vector<std::string> lines;
    std::vector<std::string> alerts;
};

TEST(LibraryMerge, MergingAFileAddsNewStylesAndSaves) {
    TempDir dir;
    RecordingReporter reporter;
    NotificationCenter notifications;
    StyleStore store({dir / "container", &reporter, &notifications});
    ASSERT_TRUE(store.add(catalogueStyle(1, 500, "Catalogue")));
    const std::string before = readText(dir / "container" / "styledb.sdb");

    // A file that is not there: nothing happens at all.
    auto missing = store.mergeFromFile(dir / "missing.sdb");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->added, 0u);

    // A file that cannot be read: an alert and the library as it was.
    for (const std::string& bad :
         {std::string("{\"styles\":[{\"uniq"), std::string("[]"), std::string("\xff\xfe")}) {
        writeText(dir / "bad.sdb", bad);
        EXPECT_FALSE(store.mergeFromFile(dir / "bad.sdb"));
    }
    EXPECT_EQ(reporter.alerts,
              std::vector<std::string>(3,
                                       "Error reading style database / The style database "
                                       "file you selected may not be valid, or is corrupt."));
    EXPECT_EQ(readText(dir / "container" / "styledb.sdb"), before);
    EXPECT_EQ(store.styleCount(), 1u);

    styleDatabase other;
    other.styles = {catalogueStyle(1, 500, "Catalogue again"), sampleStyle(1, "New")};
    writeText(dir / "other.sdb", encodeDatabase(other));
    auto merged = store.mergeFromFile(dir / "other.sdb");
    ASSERT_TRUE(merged) << merged.error();
    EXPECT_EQ(merged->added, 1u);
    EXPECT_EQ(merged->skipped, 1u);
    auto onDisk = decodeDatabase(readText(dir / "container" / "styledb.sdb"));
    ASSERT_TRUE(onDisk);
    EXPECT_THAT(names(*onDisk), ElementsAre("Catalogue", "New"));
    EXPECT_NE(onDisk->styles[1].uniqueID, 1);
    EXPECT_EQ(*onDisk, store.snapshot());
    EXPECT_EQ(reporter.alerts.size(), 3u);
    EXPECT_THAT(reporter.lines, IsEmpty());
}

// ---- carrying variable values over to a new version ----

variableOption option(const char* name, const char* label, const char* value) {
    variableOption o;
    if (name != nullptr) {
        o.name = name;
    }
    if (label != nullptr) {
        o.label = label;
    }
    if (value != nullptr) {
        o.value = value;
    }
    return o;
}

userVariable variable(std::string type, std::string name, std::string label,
                      std::optional<std::string> current = std::nullopt) {
    userVariable v;
    v.type = std::move(type);
    v.name = std::move(name);
    v.label = std::move(label);
    v.currentValue = std::move(current);
    return v;
}

userVariable choice(std::string name, std::string label, std::vector<variableOption> options,
                    std::optional<std::string> current = std::nullopt) {
    userVariable v = variable("select", std::move(name), std::move(label), std::move(current));
    v.selectOptions = std::move(options);
    return v;
}

styleContainer withVariables(std::optional<std::vector<userVariable>> variables) {
    styleContainer s = sampleStyle(1, "Style");
    s.userVariables = std::move(variables);
    return s;
}

std::vector<std::optional<std::string>> values(const styleContainer& s) {
    std::vector<std::optional<std::string>> result;
    for (const userVariable& v : s.userVariables.value()) {
        result.push_back(v.currentValue);
    }
    return result;
}

TEST(VariableCarry, ValuesFollowTheirVariableByLabelNameAndType) {
    const styleContainer old = withVariables(std::vector<userVariable>{
        variable("text", "font", "Font", "serif"),
        variable("color", "accent", "Accent colour", "#ff0000"),
        variable("checkbox", "wide", "Wide", "1"),
        variable("number", "size", "Size", "14"),
    });
    const styleContainer next = withVariables(std::vector<userVariable>{
        // Renamed but same label: still receives the value.
        variable("text", "font-family", "Font", "sans"),
        // Same name, other type: passed over, and the search goes on to the next match.
        variable("text", "accent", "Accent", "x"),
        variable("color", "accent2", "Accent colour", "#000000"),
        // Only the first match of a plain variable receives the value.
        variable("color", "accent", "Second accent", "#111111"),
        variable("checkbox", "wide", "Wide", "0"),
        variable("range", "size", "Size", "10"),
        variable("text", "new", "Brand new", "kept"),
    });

    const styleContainer carried = carryOverVariableValues(old, next);
    EXPECT_THAT(values(carried),
                ElementsAre("serif", "x", "#ff0000", "#111111", "1", "10", "kept"));
    // Everything but the values comes from the new version.
    styleContainer expected = next;
    expected.userVariables = carried.userVariables;
    EXPECT_EQ(carried, expected);
}

TEST(VariableCarry, ChoicesFollowTheChosenOptionAcrossReordering) {
    const std::vector<variableOption> oldOptions = {
        option("light", "Light", "#fff"),
        option("dim", "Dim", "#888"),
        option("dark", "Dark", "#000"),
    };
    const styleContainer old =
        withVariables(std::vector<userVariable>{choice("theme", "Theme", oldOptions, "2")});

    // By value, even with other labels and names, after reordering.
    styleContainer byValue = withVariables(std::vector<userVariable>{choice(
        "theme", "Theme",
        {option("a", "A", "#888"), option("b", "B", "#000"), option("c", "C", "#fff")}, "0")});
    EXPECT_THAT(values(carryOverVariableValues(old, byValue)), ElementsAre("1"));

    // By label when no value matches.
    styleContainer byLabel = withVariables(std::vector<userVariable>{
        choice("theme", "Theme", {option("x", "Light", "1"), option("y", "Dark", "2")}, "0")});
    EXPECT_THAT(values(carryOverVariableValues(old, byLabel)), ElementsAre("1"));

    // By name alone the value is taken, but later matches are still looked at and win when they
    // match better.
    styleContainer byName = withVariables(std::vector<userVariable>{
        choice("theme", "Theme", {option("dim", "1", "1"), option("dark", "2", "2")}, "0"),
        choice("theme", "Other label", {option("q", "Q", "#000")}, "5"),
        choice("theme", "Third", {option("dark", "Dark", "#000")}, "7"),
    });
    EXPECT_THAT(values(carryOverVariableValues(old, byName)), ElementsAre("1", "0", "7"));

    // No option matches: the variable keeps its own value and the search goes on.
    styleContainer noMatch = withVariables(std::vector<userVariable>{
        choice("theme", "Theme", {option("n", "N", "n")}, "0"),
        choice("theme", "Again", {option("p", "P", "p"), option("dark", "D", "d")}, "0"),
    });
    EXPECT_THAT(values(carryOverVariableValues(old, noMatch)), ElementsAre("0", "1"));

    // An option without a value matches another option without one.
    const styleContainer oldBare = withVariables(std::vector<userVariable>{
        choice("theme", "Theme", {option("a", "A", "1"), option("b", nullptr, nullptr)}, "1")});
    styleContainer bare = withVariables(std::vector<userVariable>{
        choice("theme", "Theme", {option("z", "Z", "9"), option("y", nullptr, nullptr)}, "0")});
    EXPECT_THAT(values(carryOverVariableValues(oldBare, bare)), ElementsAre("1"));
}

TEST(VariableCarry, NothingIsCarriedWithoutAUsableOldValue) {
    const std::vector<variableOption> options = {option("a", "A", "1"), option("b", "B", "2")};
    const styleContainer next = withVariables(std::vector<userVariable>{
        choice("c", "C", {option("b", "B", "2"), option("a", "A", "1")}, "0")});
    for (const char* index : {"2", "-1", "abc", "1x", "", " 1", "99999999999999999999"}) {
        SCOPED_TRACE(index);
        const styleContainer old =
            withVariables(std::vector<userVariable>{choice("c", "C", options, index)});
        EXPECT_THAT(values(carryOverVariableValues(old, next)), ElementsAre("0"));
    }
    EXPECT_THAT(values(carryOverVariableValues(
                    withVariables(std::vector<userVariable>{choice("c", "C", options)}), next)),
                ElementsAre("0"));
    userVariable withoutOptions = choice("c", "C", options, "1");
    withoutOptions.selectOptions.reset();
    EXPECT_THAT(values(carryOverVariableValues(
                    withVariables(std::vector<userVariable>{withoutOptions}), next)),
                ElementsAre("0"));

    // Without a variable list on either side nothing changes.
    const styleContainer oldText =
        withVariables(std::vector<userVariable>{variable("text", "t", "T", "mine")});
    EXPECT_EQ(carryOverVariableValues(withVariables(std::nullopt), next), next);
    const styleContainer noList = withVariables(std::nullopt);
    EXPECT_EQ(carryOverVariableValues(oldText, noList), noList);
}

}  // namespace
}  // namespace orlavine
