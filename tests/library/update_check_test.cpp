// Checking installed styles for updates against a loopback HTTPS server: one style, the update
// sheet's run and the row-by-row check.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "library/row_update_check.h"
#include "library/update_sheet.h"
#include "library/url_import.h"
#include "library/web_fixture.h"
#include "model/style_factory.h"

namespace orlavine {
namespace {

using testing::WebLibrary;

std::string userCSS(const std::string& version, const std::string& options,
                    const std::string& code = "body { background: /*[[bg]]*/ }") {
    return "/* ==UserStyle==\n@name Paper\n@version " + version +
           "\n@namespace paper\n@var select bg \"Background\" " + options +
           "\n==/UserStyle== */\n@-moz-document domain(\"example.com\") { " + code + " }\n";
}

// Installs a catalogue style served under `number` and returns its uniqueID.
std::int64_t installCatalogueStyle(WebLibrary& t, std::int64_t number, const std::string& md5) {
    styleJSON record = testing::catalogueRecord("Catalogue " + std::to_string(number), md5);
    record.updateUrl = t.catalogueURL("/styles/chrome/" + std::to_string(number) + ".json");
    t.serveCatalogueStyle(number, record);
    return importFromURL(t.catalogueURL("/styles/" + std::to_string(number)), t.webServices())
        .uniqueID;
}

std::int64_t installUserCSS(WebLibrary& t, const std::string& path, const std::string& text) {
    t.serve(path, text);
    return importFromURL(t.url(path), t.webServices()).uniqueID;
}

// Changes the library as another window would.
template <class F>
void edit(WebLibrary& t, F f) {
    ASSERT_TRUE(t.store->change([&](styleDatabase& db, LibraryChange& changed) {
        f(db);
        changed.everything = true;
        return true;
    }));
}

TEST(UpdateCheck, CatalogueStylesFollowTheirOriginalMd5) {
    WebLibrary t;
    const std::int64_t id = installCatalogueStyle(t, 42, "md5-a");
    edit(t, [&](styleDatabase& db) { db.styles[0].exclDomain = {{"skip.example"}}; });
    const styleContainer before = *t.store->styleByID(id);

    // Changed code under the same md5 is no update.
    styleJSON changed = testing::catalogueRecord("Catalogue 42", "md5-a", "p { color: blue }");
    changed.updateUrl = before.styleData.updateUrl;
    t.serveCatalogueStyle(42, changed);
    EXPECT_EQ(checkForUpdate(before, CheckRules::singleStyle, t.updateContext()).outcome,
              UpdateOutcome::upToDate);
    EXPECT_EQ(*t.store->styleByID(id), before);

    changed.originalMd5 = "md5-b";
    t.serveCatalogueStyle(42, changed);
    EXPECT_EQ(checkForUpdate(before, CheckRules::sheet, t.updateContext()).outcome,
              UpdateOutcome::updated);
    const styleContainer after = *t.store->styleByID(id);
    EXPECT_EQ(after.styleData, changed);
    EXPECT_NE(after.dateModified, before.dateModified);
    styleContainer rest = after;
    rest.styleData = before.styleData;
    rest.dateModified = before.dateModified;
    EXPECT_EQ(rest, before);  // every other field kept

    // A gone record is an error that leaves the style alone.
    t.serve("/styles/chrome/42.json", "not json");
    EXPECT_EQ(checkForUpdate(after, CheckRules::singleStyle, t.updateContext()).outcome,
              UpdateOutcome::error);
    EXPECT_EQ(*t.store->styleByID(id), after);
}

TEST(UpdateCheck, UserCSSUpdateKeepsTheUsersChoicesAndCarriesTheSelectedOption) {
    WebLibrary t;
    const std::int64_t id = installUserCSS(
        t, "/paper.user.css", userCSS("1.0", "{\"Black*\": \"#000\", \"White\": \"#fff\"}"));
    edit(t, [](styleDatabase& db) {
        styleContainer& s = db.styles[0];
        s.isEnabled = false;
        s.allowIframe = false;
        s.exclURL = {{"https://example.com/keep"}};
        s.systemTheme = "dark";
        s.userVariables->at(0).currentValue = "1";  // White
    });
    const styleContainer installed = *t.store->styleByID(id);
    EXPECT_EQ(checkForUpdate(installed, CheckRules::singleStyle, t.updateContext()).outcome,
              UpdateOutcome::upToDate);

    // Same version, options reordered and code changed: an update.
    t.serve("/paper.user.css",
            userCSS("1.0", "{\"White\": \"#fff\", \"Gray\": \"#888\", \"Black*\": \"#000\"}",
                    "body { background: /*[[bg]]*/; margin: 0 }"));
    EXPECT_EQ(checkForUpdate(installed, CheckRules::singleStyle, t.updateContext()).outcome,
              UpdateOutcome::updated);
    const styleContainer updated = *t.store->styleByID(id);
    EXPECT_FALSE(updated.isEnabled);
    EXPECT_EQ(updated.allowIframe, false);
    EXPECT_EQ(updated.exclURL, installed.exclURL);
    EXPECT_EQ(updated.systemTheme, "dark");
    EXPECT_EQ(updated.downloadedFrom, installed.downloadedFrom);
    EXPECT_EQ(updated.userVariables->at(0).currentValue, "0");  // White, now first
    EXPECT_NE(updated.styleData.sections.at(0).code.find("margin: 0"), std::string::npos);

    // A web page in place of the document is an error, not an update.
    t.serve("/paper.user.css", "<html><body>Moved</body></html>");
    EXPECT_EQ(checkForUpdate(updated, CheckRules::singleStyle, t.updateContext()).outcome,
              UpdateOutcome::error);
    EXPECT_EQ(*t.store->styleByID(id), updated);
}

// A new version whose document lost its @name keeps the style's name in the sheet, and is named
// after its address by a single check, as an install names it.
TEST(UpdateCheck, ADocumentWithoutANameDoesNotRenameTheStyle) {
    WebLibrary t;
    const std::string options = "{\"Black*\": \"#000\"}";
    const std::int64_t id = installUserCSS(t, "/paper.user.css", userCSS("1.0", options));
    std::string unnamed = userCSS("2.0", options);
    unnamed.erase(unnamed.find("@name Paper\n"), std::string("@name Paper\n").size());
    t.serve("/paper.user.css", unnamed);
    const styleContainer installed = *t.store->styleByID(id);
    EXPECT_EQ(checkForUpdate(installed, CheckRules::sheet, t.updateContext()).outcome,
              UpdateOutcome::updated);
    EXPECT_EQ(t.store->styleByID(id)->styleData.name, "Paper");
    EXPECT_EQ(t.store->styleByID(id)->version, "2.0");
}

TEST(UpdateCheck, AnEditMadeDuringACheckIsNeverOverwritten) {
    WebLibrary t;
    const std::int64_t id = installCatalogueStyle(t, 9, "old");
    const styleContainer installed = *t.store->styleByID(id);
    styleJSON newer = testing::catalogueRecord("Catalogue 9", "new");
    newer.updateUrl = installed.styleData.updateUrl;
    t.serveCatalogueStyle(9, newer);
    t.holdAnswers();
    std::thread check([&] {
        EXPECT_EQ(checkForUpdate(installed, CheckRules::singleStyle, t.updateContext()).outcome,
                  UpdateOutcome::error);
    });
    t.waitForRequests(2);
    ASSERT_EQ(t.store->rename(id, "My own name"), true);
    t.releaseAnswers();
    check.join();
    EXPECT_EQ(t.store->styleByID(id)->styleData.name, "My own name");
    EXPECT_EQ(t.store->styleByID(id)->styleData.originalMd5, "old");
}

struct SheetRecorder {
    std::string log;
    double progress = 0;
    bool finished = false;
    bool dismissed = false;
    UpdateSheetRun::Callbacks callbacks() {
        return {[this](const std::string& l) { log = l; }, [this](double p) { progress = p; },
                [this] { finished = true; }, [this] { dismissed = true; }};
    }
};

TEST(UpdateSheet, LogsEachStyleAndCountsTheUpdates) {
    {
        WebLibrary t;
        ASSERT_TRUE(t.store->add(newStyle(testing::catalogueRecord("Mine", ""), "custom", -1, {})));
        SheetRecorder r;
        UpdateSheetRun sheet(t.updateContext(), &t.notifications, r.callbacks());
        sheet.start();
        EXPECT_TRUE(r.finished);
        EXPECT_EQ(r.log, "Checking for updates...\nNo styles need updates.");
    }
    WebLibrary t;
    installCatalogueStyle(t, 1, "a");
    installCatalogueStyle(t, 2, "a");
    const std::int64_t paper = installUserCSS(
        t, "/paper.user.css", userCSS("1.0", "{\"Black*\": \"#000\", \"White\": \"#fff\"}"));
    // Only the row check looks at "updateURL"; the sheet passes this one over.
    styleContainer linked = newStyle(testing::catalogueRecord("Linked", ""), "usercss", -1, {});
    linked.updateURL = t.url("/linked.user.css");
    ASSERT_TRUE(t.store->add(linked));
    edit(t, [&](styleDatabase& db) { db.styles[2].userVariables->at(0).currentValue = "1"; });

    const auto runSheet = [&t](SheetRecorder& r) {
        UpdateSheetRun sheet(t.updateContext(), &t.notifications, r.callbacks());
        sheet.start();
        sheet.wait();
        EXPECT_TRUE(r.finished);
        sheet.done();
        EXPECT_TRUE(r.dismissed);
    };
    SheetRecorder none;
    runSheet(none);
    EXPECT_EQ(none.log,
              "Checking for updates...\n\"Catalogue 1\" is already up-to-date.\n\"Catalogue 2\" is "
              "already up-to-date.\n\"Paper\" is already up-to-date.\nUpdates completed. 0 styles "
              "were updated.");
    EXPECT_DOUBLE_EQ(none.progress, 100.0);

    t.serveCatalogueStyle(2, [&] {
        styleJSON r = testing::catalogueRecord("Catalogue 2", "b");
        r.updateUrl = t.catalogueURL("/styles/chrome/2.json");
        return r;
    }());
    t.serve("/styles/chrome/1.json", "{");
    SheetRecorder one;
    runSheet(one);
    EXPECT_NE(one.log.find("An error occurred checking for updates for \"Catalogue 1\".\n"),
              std::string::npos);
    EXPECT_NE(one.log.find("\"Catalogue 2\" was updated to the latest version.\n"),
              std::string::npos);
    EXPECT_TRUE(one.log.ends_with("Updates completed. 1 style was updated."));

    // A new version read by the sheet comes with the document's own variable values.
    t.serve("/paper.user.css", userCSS("2.0", "{\"Black*\": \"#000\", \"White\": \"#fff\"}"));
    t.serve("/styles/chrome/1.json",
            boost::json::serialize(styleJSONToJson(testing::catalogueRecord("Catalogue 1", "z"))));
    SheetRecorder two;
    runSheet(two);
    EXPECT_TRUE(two.log.ends_with("Updates completed. 2 styles were updated."));
    EXPECT_EQ(t.saved().styles[2].userVariables->at(0).currentValue, "0");
    EXPECT_EQ(t.saved().styles[2].uniqueID, paper);
}

TEST(UpdateSheet, CancelStopsAfterTheCurrentStyleAndTheFifthPressGivesUp) {
    WebLibrary t;
    for (int n = 1; n <= 4; ++n) {
        installCatalogueStyle(t, n, "a");
        styleJSON newer = testing::catalogueRecord("Catalogue " + std::to_string(n), "b");
        newer.updateUrl = t.catalogueURL("/styles/chrome/" + std::to_string(n) + ".json");
        t.serveCatalogueStyle(n, newer);
    }
    const int requestsBefore = t.requestCount();
    t.holdAnswers();
    int refreshes = 0;
    t.notifications.addObserver("refreshTable", [&](const Notification&) { ++refreshes; });

    SheetRecorder cancelled;
    UpdateSheetRun sheet(t.updateContext(), &t.notifications, cancelled.callbacks());
    sheet.start();
    t.waitForRequests(requestsBefore + 1);
    sheet.cancel();  // while the first style's answer is on its way
    t.releaseAnswers();
    sheet.wait();
    EXPECT_TRUE(cancelled.log.ends_with("Update process was interrupted. 1 style was updated."))
        << cancelled.log;
    EXPECT_EQ(t.saved().styles[0].styleData.originalMd5, "b");  // each replacement is written

    // Five presses during a download that does not come give up at once; the sheet closes and
    // the list shows the library as the file holds it.
    t.holdAnswers();
    SheetRecorder stalled;
    UpdateSheetRun second(t.updateContext(), &t.notifications, stalled.callbacks());
    second.start();
    t.waitForRequests(requestsBefore + 2);
    const auto started = std::chrono::steady_clock::now();
    for (int press = 1; press <= 5; ++press) {
        second.cancel();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2500));
    EXPECT_TRUE(stalled.dismissed);
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(t.saved().styles[1].styleData.originalMd5, "a");
    EXPECT_EQ(t.store->snapshot(), t.saved());
}

TEST(RowUpdateCheck, ChecksRowsAtOnceAndSavesEveryUpdate) {
    WebLibrary t;
    constexpr int kStyles = 12;
    for (int n = 1; n <= kStyles; ++n) {
        installCatalogueStyle(t, n, "a");
        styleJSON newer = testing::catalogueRecord("Catalogue " + std::to_string(n), "b");
        newer.updateUrl = t.catalogueURL("/styles/chrome/" + std::to_string(n) + ".json");
        t.serveCatalogueStyle(n, newer);
    }
    ASSERT_TRUE(t.store->add(newStyle(testing::catalogueRecord("Mine", ""), "custom", -1, {})));
    const int requestsBefore = t.requestCount();
    t.holdAnswers();
    std::vector<std::pair<std::int64_t, std::string>> statuses;
    int beeps = 0;
    bool finished = false;
    RowUpdateCheck::Callbacks callbacks;
    callbacks.statusChanged = [&](std::int64_t id, const std::string& s) {
        statuses.emplace_back(id, s);
    };
    callbacks.beep = [&] { ++beeps; };
    callbacks.finished = [&] { finished = true; };
    int closed = 0;
    t.notifications.addObserver("closeProperties", [&](const Notification&) { ++closed; });
    RowUpdateCheck rows(t.updateContext(), &t.notifications, callbacks);

    EXPECT_TRUE(rows.checkAll(false));
    EXPECT_FALSE(rows.checkAll(false));  // one whole check at a time
    // Two at a time on one host: the second request comes while the first is unanswered.
    t.waitForRequests(requestsBefore + 2);
    t.releaseAnswers();
    rows.wait();
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(finished);
    EXPECT_EQ(closed, kStyles);
    EXPECT_EQ(statuses.size(), 2u * kStyles);
    EXPECT_EQ(std::count_if(statuses.begin(), statuses.end(),
                            [](const auto& s) { return s.second == "updated"; }),
              kStyles);
    EXPECT_EQ(t.web.peakConcurrent(), 2);
    for (const styleContainer& s : t.saved().styles) {
        EXPECT_TRUE(s.source == "custom" || s.styleData.originalMd5 == "b") << s.styleData.name;
    }
    EXPECT_FALSE(rows.checkAll(true));  // not during a cloud sync
}

}  // namespace
}  // namespace orlavine
