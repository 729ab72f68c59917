// The merge rules, each with a case that comes out differently when the rule is broken.

#include "sync/cloud_merge.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace orlavine::sync {
namespace {

using orlavine::testing::sampleStyle;

styleContainer style(std::int64_t id, const std::string& name, std::optional<double> date) {
    styleContainer s = sampleStyle(id, name);
    s.styleData.sections[0].code = "/* " + name + " */ body { color: red; }";
    s.dateModified = date ? std::optional<Date>(Date{*date}) : std::nullopt;
    return s;
}

styleDatabase library(std::vector<styleContainer> styles, std::optional<double> date) {
    styleDatabase db;
    db.styles = std::move(styles);
    db.randomHash = 1;
    db.dateModified = date ? std::optional<Date>(Date{*date}) : std::nullopt;
    return db;
}

std::vector<std::string> namesOf(const styleDatabase& db) {
    std::vector<std::string> names;
    for (const styleContainer& s : db.styles) {
        names.push_back(s.styleData.name);
    }
    return names;
}

FirstMergeResult merge(const styleDatabase& cloud, const styleDatabase& local, double lastSync,
                       bool afterEnabling = false) {
    return firstMerge(FirstMergeInput{cloud, local, Date{lastSync}, afterEnabling});
}

TEST(FirstMerge, SameStyleListsChangeNothing) {
    const styleDatabase cloud = library({style(1, "a", 10)}, 20);
    styleDatabase local = cloud;
    local.randomHash = 99;
    EXPECT_TRUE(merge(cloud, local, 0).unchanged);
    local.styles[0].isEnabled = false;
    EXPECT_FALSE(merge(cloud, local, 0).unchanged);
}

TEST(FirstMerge, MatchedStylesKeepTheLaterEditAndTheCloudCopyOnEqualDates) {
    styleContainer cloudA = style(1, "a", 100);
    styleContainer localA = cloudA;
    localA.description = "edited here";
    // Local later: the local edit replaces the cloud copy in the cloud's position.
    localA.dateModified = Date{200};
    auto r = merge(library({style(5, "x", 1), cloudA}, 50), library({localA}, 60), 0);
    ASSERT_EQ(r.merged.styles.size(), 2u);
    EXPECT_EQ(r.merged.styles[1].description, "edited here");
    // Equal dates: the cloud copy stays.
    localA.dateModified = Date{100};
    r = merge(library({cloudA}, 50), library({localA}, 60), 0);
    EXPECT_EQ(r.merged.styles[0].description, "");
    // Cloud later: the cloud copy stays.
    localA.dateModified = Date{50};
    r = merge(library({cloudA}, 50), library({localA}, 60), 0);
    EXPECT_EQ(r.merged.styles[0].description, "");
}

TEST(FirstMerge, UndatedMatchesFollowTheLibraryDates) {
    styleContainer cloudA = style(1, "a", std::nullopt);
    styleContainer localA = cloudA;
    localA.description = "edited here";
    // Cloud library older than the local one: the local copy wins.
    EXPECT_EQ(merge(library({cloudA}, 10), library({localA}, 20), 0).merged.styles[0].description,
              "edited here");
    // Cloud library newer, or either library undated: the cloud copy stays.
    EXPECT_EQ(merge(library({cloudA}, 30), library({localA}, 20), 0).merged.styles[0].description,
              "");
    EXPECT_EQ(merge(library({cloudA}, std::nullopt), library({localA}, 20), 0)
                  .merged.styles[0]
                  .description,
              "");
    EXPECT_EQ(merge(library({cloudA}, 10), library({localA}, std::nullopt), 0)
                  .merged.styles[0]
                  .description,
              "");
}

TEST(FirstMerge, StylesAreMatchedByCatalogueNumberUserCssAddressSectionsOrNameAndID) {
    // Catalogue number: same userstyleID, different everything else.
    styleContainer cloudCat = style(1, "cat", 100);
    cloudCat.userstyleID = 4242;
    styleContainer localCat = style(2, "cat renamed", 200);
    localCat.userstyleID = 4242;
    auto r = merge(library({cloudCat}, 50), library({localCat}, 60), 1000);
    EXPECT_EQ(namesOf(r.merged), std::vector<std::string>{"cat renamed"});

    // UserCSS: same address installed from.
    styleContainer cloudUser = style(3, "user", 100);
    cloudUser.source = "usercss";
    cloudUser.downloadedFrom = "https://example.org/a.user.css";
    styleContainer localUser = style(4, "user new", 200);
    localUser.source = "usercss";
    localUser.downloadedFrom = cloudUser.downloadedFrom;
    r = merge(library({cloudUser}, 50), library({localUser}, 60), 1000);
    EXPECT_EQ(namesOf(r.merged), std::vector<std::string>{"user new"});
    // UserCSS: same update address, different install address.
    localUser.downloadedFrom = "https://mirror.example.org/a.user.css";
    cloudUser.updateURL = localUser.updateURL = "https://example.org/update.user.css";
    r = merge(library({cloudUser}, 50), library({localUser}, 60), 1000);
    EXPECT_EQ(namesOf(r.merged), std::vector<std::string>{"user new"});

    // Two UserCSS styles without any address are different styles.
    cloudUser.downloadedFrom.clear();
    cloudUser.updateURL.reset();
    localUser.downloadedFrom.clear();
    localUser.updateURL.reset();
    r = merge(library({cloudUser}, 50), library({localUser}, 60), 1000);
    EXPECT_EQ(namesOf(r.merged), (std::vector<std::string>{"user", "user new"}));

    // Same sections, different name and number.
    styleContainer cloudSec = style(5, "sections", 100);
    styleContainer localSec = cloudSec;
    localSec.uniqueID = 6;
    localSec.styleData.name = "sections renamed";
    localSec.dateModified = Date{200};
    r = merge(library({cloudSec}, 50), library({localSec}, 60), 1000);
    EXPECT_EQ(namesOf(r.merged), std::vector<std::string>{"sections renamed"});

    // Same name and number, different code.
    styleContainer cloudName = style(7, "named", 100);
    styleContainer localName = style(7, "named", 200);
    localName.styleData.sections[0].code = "p {}";
    r = merge(library({cloudName}, 50), library({localName}, 60), 1000);
    ASSERT_EQ(r.merged.styles.size(), 1u);
    EXPECT_EQ(r.merged.styles[0].styleData.sections[0].code, "p {}");

    // Same name, other number, other code: no match, so it is an addition.
    styleContainer other = style(8, "named", 2000);
    other.styleData.sections[0].code = "q {}";
    r = merge(library({cloudName}, 50), library({other}, 60), 1000);
    EXPECT_EQ(r.merged.styles.size(), 2u);
}

TEST(FirstMerge, UnmatchedLocalStylesFollowTheOrderOfRules) {
    const styleDatabase cloud = library({style(1, "cloud", 10)}, 500);
    // Changed since the last sync: appended after the cloud styles, in local order.
    auto r = merge(cloud, library({style(3, "new2", 900), style(2, "new1", 800)}, 400), 700);
    EXPECT_EQ(namesOf(r.merged), (std::vector<std::string>{"cloud", "new2", "new1"}));
    EXPECT_TRUE(r.deleted.empty());

    // Unchanged since the last sync and the cloud is newer: deleted elsewhere, dropped.
    const styleDatabase old = library({style(2, "old", 100)}, 400);
    r = merge(cloud, old, 700);
    EXPECT_EQ(namesOf(r.merged), std::vector<std::string>{"cloud"});
    EXPECT_TRUE(r.deleted.empty());
    // ... unless sync was just switched on.
    r = merge(cloud, old, 700, true);
    EXPECT_EQ(namesOf(r.merged), (std::vector<std::string>{"cloud", "old"}));
    // ... or the local library is undated.
    r = merge(cloud, library({style(2, "old", 100)}, std::nullopt), 700);
    EXPECT_EQ(namesOf(r.merged), (std::vector<std::string>{"cloud", "old"}));
    // An undated cloud library: the style is set aside for recovery.
    r = merge(library({style(1, "cloud", 10)}, std::nullopt), old, 700);
    EXPECT_EQ(namesOf(r.merged), std::vector<std::string>{"cloud"});
    ASSERT_EQ(r.deleted.size(), 1u);
    EXPECT_EQ(r.deleted[0].styleData.name, "old");
    // The local library is newer than the cloud's: kept.
    r = merge(library({style(1, "cloud", 10)}, 300), old, 700);
    EXPECT_EQ(namesOf(r.merged), (std::vector<std::string>{"cloud", "old"}));
    // An undated style counts as unchanged.
    r = merge(cloud, library({style(2, "undated", std::nullopt)}, 400), 700);
    EXPECT_EQ(namesOf(r.merged), std::vector<std::string>{"cloud"});
}

TEST(RemoteMerge, CloudCopyCorrectedByNewerLocalCopies) {
    styleContainer a = style(1, "a", 100);
    styleContainer b = style(2, "b", 100);
    styleContainer c = style(3, "c", 100);
    styleContainer d = style(4, "d", std::nullopt);
    const styleDatabase cloud = library({a, b, c, d}, 10);

    styleContainer localA = a;  // newer here: replaces the cloud copy in place
    localA.description = "local newer";
    localA.dateModified = Date{200};
    styleContainer localB = b;  // older here: the cloud copy wins and is reported changed
    localB.description = "local older";
    localB.dateModified = Date{50};
    styleContainer localC = c;  // equal dates: the cloud copy stays, not reported
    localC.description = "local same date";
    styleContainer localD = d;  // undated in the cloud: any dated local copy wins
    localD.description = "local dated";
    localD.dateModified = Date{1};
    const RemoteMergeResult r = remoteMerge(cloud, library({localD, localC, localB, localA}, 20));
    ASSERT_EQ(r.merged.styles.size(), 4u);
    EXPECT_EQ(r.merged.styles[0].description, "local newer");
    EXPECT_EQ(r.merged.styles[1].description, "");
    EXPECT_EQ(r.merged.styles[2].description, "");
    EXPECT_EQ(r.merged.styles[3].description, "local dated");
    EXPECT_EQ(r.changedIDs, std::vector<std::int64_t>{2});
    EXPECT_TRUE(r.deleted.empty());
    EXPECT_EQ(r.merged.randomHash, cloud.randomHash);
}

TEST(RemoteMerge, UndatedLocalCopiesNeverWinAndMissingStylesAreSetAside) {
    styleContainer a = style(1, "a", 100);
    styleContainer localA = a;
    localA.description = "undated here";
    localA.dateModified.reset();
    const RemoteMergeResult r =
        remoteMerge(library({a}, 10), library({localA, style(9, "gone", 100)}, 20));
    ASSERT_EQ(r.merged.styles.size(), 1u);
    EXPECT_EQ(r.merged.styles[0].description, "");
    ASSERT_EQ(r.deleted.size(), 1u);
    EXPECT_EQ(r.deleted[0].uniqueID, 9);
    EXPECT_EQ(r.changedIDs, std::vector<std::int64_t>{9});
}

}  // namespace
}  // namespace orlavine::sync
