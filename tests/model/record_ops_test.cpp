#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/content_hash.h"
#include "model/rule_rows.h"
#include "model/style_factory.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

using testing::sampleStyle;
using Strings = std::vector<std::string>;

TEST(RecordOps, NewStylesAreEnabledBareAndGetIdentifiersNoStyleHas) {
    // Identifiers 0..19999 taken: what a scheme based on list positions would hand out.
    styleDatabase db;
    std::set<std::int64_t> ids;
    for (std::int64_t id = 0; id < 20000; ++id) {
        db.styles.push_back(sampleStyle(id, "s"));
        ids.insert(id);
    }
    bool highHalfSeen = false;
    for (int i = 0; i < 500; ++i) {
        const std::int64_t id = newUniqueID(db);
        EXPECT_TRUE(id >= 0 && id <= 4294967295) << id;
        EXPECT_TRUE(ids.insert(id).second) << id << " is already taken";
        highHalfSeen = highHalfSeen || id > 2147483647;
        db.styles.push_back(sampleStyle(id, "s"));
    }
    EXPECT_TRUE(highHalfSeen) << "identifiers use only 31 bits";

    styleJSON data;
    data.name = "Mine";
    const Date before = Date::now();
    const styleContainer made = newStyle(data, "custom", -1, db);
    EXPECT_EQ(ids.count(made.uniqueID), 0u);
    ASSERT_TRUE(made.dateModified);
    EXPECT_TRUE(*made.dateModified >= before && *made.dateModified <= Date::now());
    styleContainer expected;  // empty metadata, no exclusions, no update address or theme
    expected.uniqueID = made.uniqueID;
    expected.styleData = data;
    expected.isEnabled = true;
    expected.source = "custom";
    expected.userstyleID = -1;
    expected.allowIframe = true;
    expected.userVariables = std::vector<userVariable>{};
    expected.dateModified = made.dateModified;
    EXPECT_EQ(made, expected);

    const styleDatabase fresh = newDatabase();
    EXPECT_TRUE(fresh.dbVersion == 1 && fresh.styles.empty() && fresh.dateModified);
    EXPECT_TRUE(fresh.randomHash >= 0 && fresh.randomHash <= 4294967295);
}

TEST(RecordOps, ContentHashIsStableAndCoversExactlyTheCatalogueFields) {
    styleJSON base;
    base.url = "https://catalogue.example/styles/1";
    base.updateUrl = "https://catalogue.example/styles/chrome/1.json";
    base.name = "Dark ✓";
    styleSection s{{"https://a.example/"}, {"https://b.example/"}, {"c.example"}, {".*"},
                   "body{color:red}",      "body{color:red}",      "Main"};
    base.sections = {s, styleSection{}};
    base.md5Url = "https://catalogue.example/1.md5";
    base.originalMd5 = "abc";
    // Libraries on other machines compare against this value: it must never change.
    EXPECT_EQ(contentHash(base), 0xfd3e09f5ea2b8291ULL);

    styleJSON compiled = base;
    compiled.compSections = std::vector<styleSection>{s};
    EXPECT_EQ(contentHash(compiled), contentHash(base));

    const std::vector<std::function<void(styleJSON&)>> changes = {
        [](styleJSON& r) { r.url += "x"; },
        [](styleJSON& r) { r.updateUrl.clear(); },
        [](styleJSON& r) { r.name = "Dark"; },
        [](styleJSON& r) { r.md5Url += "/"; },
        [](styleJSON& r) { r.originalMd5 = "abd"; },
        [](styleJSON& r) { r.sections.pop_back(); },
        [](styleJSON& r) { std::swap(r.sections[0], r.sections[1]); },
        [](styleJSON& r) { r.sections[0].urls.push_back(""); },
        [](styleJSON& r) { r.sections[0].urlPrefixes[0] = "https://b.example"; },
        [](styleJSON& r) { r.sections[0].domains.clear(); },
        [](styleJSON& r) { r.sections[0].regexps[0] = ".+"; },
        [](styleJSON& r) { r.sections[0].code += " "; },
        [](styleJSON& r) { r.sections[0].compiledcode.reset(); },
        [](styleJSON& r) { r.sections[1].compiledcode = ""; },
        [](styleJSON& r) { r.sections[0].sectionName = "main"; },
        // The same text under another rule type, or split differently between fields.
        [](styleJSON& r) { std::swap(r.sections[0].urls, r.sections[0].urlPrefixes); },
        [](styleJSON& r) {
            r.sections[0].domains = {"c.", "example"};
        },
        [](styleJSON& r) {
            r.url = "https://catalogue.example/styles/";
            r.updateUrl = "1https://catalogue.example/styles/chrome/1.json";
        },
    };
    std::set<std::uint64_t> seen = {contentHash(base)};
    for (std::size_t i = 0; i < changes.size(); ++i) {
        styleJSON changed = base;
        changes[i](changed);
        EXPECT_TRUE(seen.insert(contentHash(changed)).second) << "change " << i;
    }
    styleJSON ab, bc;
    ab.url = "ab";
    ab.updateUrl = "c";
    bc.url = "a";
    bc.updateUrl = "bc";
    EXPECT_NE(contentHash(ab), contentHash(bc));
}

std::vector<RuleRow> rows(const std::vector<std::pair<std::string, std::string>>& typeAndRule) {
    std::vector<RuleRow> out;
    for (const auto& [type, rule] : typeAndRule) {
        out.push_back({{"type", type}, {"rule", rule}});
    }
    return out;
}

TEST(RecordOps, RuleRowsListDomainsUrlsPrefixesRegexpsAndConvertBack) {
    const styleSection section{{"u1", "u2"}, {"p1"}, {"d1", "d2"}, {"r1"}, "a{}", "b{}", "Named"};
    const auto table = ruleDictionary::fromSection(section);
    EXPECT_EQ(table->dictionary, rows({{"Domain", "d1"},
                                       {"Domain", "d2"},
                                       {"URL is", "u1"},
                                       {"URL is", "u2"},
                                       {"URL starts with", "p1"},
                                       {"RegExp", "r1"}}));
    EXPECT_EQ(table->sectionName, "Named");
    styleSection bare;
    bare.code = "a{}";
    bare.compiledcode = "b{}";
    EXPECT_EQ(table->applyTo(bare), section);

    // Rows edited into any order land in their lists in row order.
    table->dictionary = rows({{"RegExp", "x"}, {"URL is", "b"}, {"Domain", "z"}, {"URL is", "a"}});
    table->sectionName.reset();
    const styleSection edited = table->applyTo(section);
    EXPECT_EQ(edited, (styleSection{{"b", "a"}, {}, {"z"}, {"x"}, "a{}", "b{}", std::nullopt}));

    styleContainer style = sampleStyle(1, "s");
    style.exclURL = Strings{"u"};
    style.exclPrefix = Strings{"p"};
    style.exclRegExp = Strings{"r1", "r2"};
    const auto excl = exclDictionary::fromStyle(style);
    EXPECT_EQ(
        excl->dictionary,
        rows({{"URL is", "u"}, {"URL starts with", "p"}, {"RegExp", "r1"}, {"RegExp", "r2"}}));
    EXPECT_EQ(excl->applyTo(sampleStyle(1, "s")), style);
    excl->dictionary.push_back(rows({{"Domain", "d"}})[0]);
    EXPECT_EQ(excl->applyTo(style).exclDomain, Strings{"d"});
    EXPECT_TRUE(exclDictionary::fromStyle(sampleStyle(2, "s"))->dictionary.empty());
}

}  // namespace
}  // namespace orlavine
