#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/string.hpp>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/settings_defaults.h"
#include "model/settings_keys.h"
#include "model/settings_store.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

using testing::IsolatedHome;
using testing::readText;
using testing::sampleStyle;
using testing::writeText;

// The value a key answers with, as compact JSON ("absent" when it has none), so that a default
// of the wrong JSON type (the string "true" for a Bool) shows up as a difference.
std::string answer(const SettingsStore& store, std::string_view key) {
    auto v = store.value(key);
    return v ? boost::json::serialize(*v) : "absent";
}

// Sets an environment variable for the lifetime of the object.

TEST(SettingsDefaults, EveryKeyAnswersItsDefaultAndNothingIsWritten) {
    IsolatedHome home;
    SettingsStores stores(home.config());
    registerAppDefaults(stores, styleDatabase{}, ColorScheme::dark);
    registerExtensionDefaults(stores);

    const std::vector<std::pair<const char*, const char*>> app = {
        {"UseiCloud", "false"},          {"hasConfigurediCloud", "false"},
        {"isFirstLaunch", "true"},       {"isFirstStyle", "true"},
        {"UpdateOnLaunch", "false"},     {"WarnIfDisabled", "true"},
        {"WarnReadOnly", "true"},        {"DefaultAuthor", "\"Orlavine User\""},
        {"Awesomeness", "false"},        {"ACETheme", "\"dark\""},
        {"ACEFont", "\"ui-monospace\""}, {"ACEFontSize", "12"},
        {"ACEShowGutter", "true"},       {"ACEShowErrors", "false"},
        {"ACEWordWrap", "true"},         {"ACEAutocomplete", "true"},
        {"showEditorTitle", "true"},     {"editorStyle", "\"unified\""},
    };
    for (const auto& [key, expected] : app) {
        EXPECT_EQ(answer(stores.app, key), expected) << key;
    }
    EXPECT_EQ(stores.app.dateValue("lastSuccessfulSync"), Date::distantPast());
    EXPECT_TRUE(stores.app.value("lastSuccessfulSync").has_value());
    EXPECT_EQ(stores.app.stringValue("DefaultNamespace").rfind("orlavine", 0), 0u);

    EXPECT_EQ(answer(stores.shared, "InjectIframes"), "false");
    EXPECT_EQ(answer(stores.shared, "toggleShortcut"), "true");
    EXPECT_EQ(answer(stores.extension, "enableStyles"), "true");
    // Each key lives in its own store only.
    EXPECT_EQ(answer(stores.app, "toggleShortcut"), "absent");
    EXPECT_EQ(answer(stores.shared, "UseiCloud"), "absent");
    EXPECT_EQ(answer(stores.app, "enableStyles"), "absent");

    for (const SettingsStore* store : {&stores.app, &stores.shared, &stores.extension}) {
        EXPECT_FALSE(std::filesystem::exists(store->file())) << store->file();
        EXPECT_FALSE(store->hasStoredValue("UseiCloud"));
    }

    // A stored value wins over the default; registering again at the next launch keeps it, and
    // leaves the file byte for byte as it was.
    ASSERT_TRUE(stores.app.set("ACEFontSize", 16));
    const std::string before = readText(stores.app.file());
    SettingsStores nextLaunch(home.config());
    registerAppDefaults(nextLaunch, styleDatabase{}, ColorScheme::light);
    EXPECT_EQ(nextLaunch.app.intValue("ACEFontSize"), 16);
    EXPECT_EQ(nextLaunch.app.stringValue("ACETheme"), "light");
    EXPECT_EQ(readText(nextLaunch.app.file()), before);
    EXPECT_FALSE(std::filesystem::exists(nextLaunch.shared.file()));
}

TEST(SettingsDefaults, EditorThemeFollowsTheDesktopAndTheOverride) {
    IsolatedHome home;
    const auto themeFor = [&](std::optional<ColorScheme> scheme) {
        SettingsStores stores(home.config());
        registerAppDefaults(stores, styleDatabase{}, scheme);
        return stores.app.stringValue("ACETheme") + "/" + stores.app.stringValue("ACEFont");
    };
    EXPECT_EQ(themeFor(ColorScheme::dark), "dark/ui-monospace");
    EXPECT_EQ(themeFor(ColorScheme::light), "light/ui-monospace");
    EXPECT_EQ(themeFor(std::nullopt), "light/ui-monospace");
}

TEST(SettingsDefaults, DefaultNamespaceIsFreshAtEachLaunchAndNamesNoExistingStyle) {
    IsolatedHome home;
    // Identifiers 0..n-1 are what a count- or position-based number would pick.
    styleDatabase db;
    std::set<std::string> taken;
    for (std::int64_t id = 0; id < 5000; ++id) {
        db.styles.push_back(sampleStyle(id, "s"));
        taken.insert("orlavine" + std::to_string(id));
    }
    db.styles.push_back(sampleStyle(4294967295, "top"));
    taken.insert("orlavine4294967295");

    std::set<std::string> seen;
    for (int launch = 0; launch < 50; ++launch) {
        SettingsStores stores(home.config());
        registerAppDefaults(stores, db, std::nullopt);
        const std::string ns = stores.app.stringValue("DefaultNamespace");
        ASSERT_GT(ns.size(), 8u) << ns;
        EXPECT_EQ(ns.substr(0, 8), "orlavine");
        const std::string digits = ns.substr(8);
        EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << ns;
        EXPECT_LE(std::stoull(digits), 4294967295ull) << ns;
        EXPECT_EQ(taken.count(ns), 0u) << ns << " names an existing style";
        seen.insert(ns);
    }
    EXPECT_GT(seen.size(), 45u) << "the namespace default hardly changes between launches";

    // Once the user sets one, it stays across launches.
    SettingsStores first(home.config());
    registerAppDefaults(first, db, std::nullopt);
    ASSERT_TRUE(first.app.set("DefaultNamespace", "mine"));
    SettingsStores second(home.config());
    registerAppDefaults(second, db, std::nullopt);
    EXPECT_EQ(second.app.stringValue("DefaultNamespace"), "mine");
}

TEST(SettingsStore, AnotherWriterOnTheSameFileIsSeenWithoutRestart) {
    IsolatedHome home;
    SettingsStores app(home.config());
    SettingsStores extension(home.config());  // stands in for the browser host's process
    registerAppDefaults(app, styleDatabase{}, std::nullopt);
    EXPECT_TRUE(extension.shared.value("toggleShortcut") == std::nullopt);

    ASSERT_TRUE(app.shared.set("toggleShortcut", false));
    EXPECT_EQ(answer(extension.shared, "toggleShortcut"), "false");

    // Quick successive writes of values of equal length are each seen.
    for (int i = 0; i < 20; ++i) {
        const bool on = i % 2 == 0;
        ASSERT_TRUE(app.shared.set("toggleShortcut", on));
        ASSERT_EQ(extension.shared.boolValue("toggleShortcut"), on) << i;
    }
    // A reader that did not look between two such writes still sees the second one.
    for (int i = 0; i < 20; ++i) {
        const std::string seen = "v" + std::to_string(100 + 3 * i);
        const std::string between = "v" + std::to_string(101 + 3 * i);
        const std::string last = "v" + std::to_string(102 + 3 * i);
        ASSERT_TRUE(app.shared.set("pair", boost::json::string(seen)));
        ASSERT_EQ(extension.shared.stringValue("pair"), seen);
        ASSERT_TRUE(app.shared.set("pair", boost::json::string(between)));
        ASSERT_TRUE(app.shared.set("pair", boost::json::string(last)));
        ASSERT_EQ(extension.shared.stringValue("pair"), last) << i;
    }
    ASSERT_TRUE(app.shared.remove("pair"));

    // Writes from either side keep the other side's keys.
    ASSERT_TRUE(extension.shared.set("fromHost", "h"));
    ASSERT_TRUE(app.shared.set("InjectIframes", true));
    EXPECT_EQ(app.shared.stringValue("fromHost"), "h");
    EXPECT_TRUE(extension.shared.boolValue("InjectIframes"));

    // Removing a stored value brings the default back everywhere.
    ASSERT_TRUE(app.shared.remove("InjectIframes"));
    EXPECT_FALSE(app.shared.boolValue("InjectIframes"));
    EXPECT_FALSE(extension.shared.hasStoredValue("InjectIframes"));

    const auto parsed = boost::json::parse(readText(app.shared.file()));
    ASSERT_TRUE(parsed.is_object());
    EXPECT_EQ(parsed.as_object().size(), 2u) << readText(app.shared.file());
}

TEST(SettingsStore, ConcurrentWritersInTwoProcessesLoseNoKey) {
    IsolatedHome home;
    const std::filesystem::path file = home.config() / "shared.json";
    constexpr int kWriters = 3;
    constexpr int kRounds = 40;

    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            SettingsStore store(file);
            int failures = 0;
            for (int i = 0; i < kRounds; ++i) {
                const std::string key = "w" + std::to_string(w) + "-" + std::to_string(i);
                failures += store.set(key, i).ok() ? 0 : 1;
                // Rewrites a key of its own too, so the file keeps changing under the others.
                failures += store.set("last" + std::to_string(w), i).ok() ? 0 : 1;
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
    }

    SettingsStore reader(file);
    int missing = 0;
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kRounds; ++i) {
            const std::string key = "w" + std::to_string(w) + "-" + std::to_string(i);
            if (!reader.hasStoredValue(key) || reader.intValue(key) != i) {
                ++missing;
            }
        }
        EXPECT_EQ(reader.intValue("last" + std::to_string(w)), kRounds - 1);
    }
    EXPECT_EQ(missing, 0);
    EXPECT_FALSE(std::filesystem::exists(file.string() + ".unreadable"));
}

TEST(SettingsStore, UnreadableFilesAndWrongTypesFallBackToDefaultsAndAreKept) {
    IsolatedHome home;
    const std::filesystem::path file = home.config() / "app.json";
    const std::string deep(100000, '[');
    const std::vector<std::string> unreadable = {
        "not json {",
        "[true, 1, \"x\"]",
        "\"UseiCloud\"",
        "",
        std::string("{\"UseiCloud\": tr\0ue}", 20),
        "\xff\xfe{\0\"\0",
        deep,
        "{\"UseiCloud\": true} trailing",
    };
    for (const std::string& garbage : unreadable) {
        SCOPED_TRACE(garbage.substr(0, 30));
        std::filesystem::remove(file.string() + ".unreadable");
        writeText(file, garbage);
        SettingsStores stores(home.config());
        registerAppDefaults(stores, styleDatabase{}, std::nullopt);
        EXPECT_FALSE(stores.app.boolValue("UseiCloud"));
        EXPECT_TRUE(stores.app.boolValue("WarnIfDisabled"));
        EXPECT_EQ(stores.app.intValue("ACEFontSize"), 12);
        EXPECT_EQ(readText(file), garbage) << "reading changed the file";

        ASSERT_TRUE(stores.app.set("UseiCloud", true));
        EXPECT_TRUE(stores.app.boolValue("UseiCloud"));
        EXPECT_EQ(stores.app.intValue("ACEFontSize"), 12);
        if (!garbage.empty()) {
            EXPECT_EQ(readText(file.string() + ".unreadable"), garbage);
        }
        const auto now = boost::json::parse(readText(file));
        EXPECT_EQ(boost::json::serialize(now), "{\"UseiCloud\":true}");
    }

    // Values of the wrong type count as unset: the default answers, and nothing crashes.
    writeText(file,
              R"({"UseiCloud":"yes","WarnIfDisabled":0,"ACEFontSize":"big","DefaultAuthor":5,)"
              R"("ACETheme":null,"editorStyle":["compact"],"lastSuccessfulSync":"yesterday",)"
              R"("showEditorTitle":{"a":1},"ACEWordWrap":false})");
    SettingsStores stores(home.config());
    registerAppDefaults(stores, styleDatabase{}, ColorScheme::dark);
    EXPECT_FALSE(stores.app.boolValue("UseiCloud"));
    EXPECT_TRUE(stores.app.boolValue("WarnIfDisabled"));
    EXPECT_EQ(stores.app.intValue("ACEFontSize"), 12);
    EXPECT_EQ(stores.app.stringValue("DefaultAuthor"), "Orlavine User");
    EXPECT_EQ(stores.app.stringValue("ACETheme"), "dark");
    EXPECT_EQ(stores.app.stringValue("editorStyle"), "unified");
    EXPECT_EQ(stores.app.dateValue("lastSuccessfulSync"), Date::distantPast());
    EXPECT_TRUE(stores.app.boolValue("showEditorTitle"));
    EXPECT_FALSE(stores.app.boolValue("ACEWordWrap")) << "a well-typed value is still read";
    // A whole number written as a floating-point number is still a whole number.
    ASSERT_TRUE(stores.app.set("ACEFontSize", 14.0));
    EXPECT_EQ(stores.app.intValue("ACEFontSize"), 14);
    ASSERT_TRUE(stores.app.set("ACEFontSize", 14.5));
    EXPECT_EQ(stores.app.intValue("ACEFontSize"), 12);
    // Writing another key keeps the wrong-typed ones as they are.
    EXPECT_EQ(boost::json::serialize(*stores.app.value("editorStyle")), "[\"compact\"]");
}

// Each unreadable version is kept under a name of its own; none overwrites one kept earlier.
TEST(SettingsStore, EveryUnreadableVersionIsKeptUnderItsOwnName) {
    IsolatedHome home;
    const std::filesystem::path file = home.config() / "app.json";
    const std::vector<std::pair<std::string, std::string>> versions = {
        {"first garbage {", ".unreadable"},
        {"second garbage [", ".unreadable-2"},
        {"third garbage \"", ".unreadable-3"},
    };
    for (const auto& [garbage, suffix] : versions) {
        SCOPED_TRACE(suffix);
        writeText(file, garbage);
        SettingsStore store(file);
        ASSERT_TRUE(store.set("UseiCloud", true));
        EXPECT_EQ(readText(file.string() + suffix), garbage);
    }
    EXPECT_EQ(readText(file.string() + ".unreadable"), "first garbage {");
    EXPECT_EQ(readText(file.string() + ".unreadable-2"), "second garbage [");
}

TEST(SettingsStore, AFileTooLargeToReadIsKeptAsideRatherThanOverwritten) {
    IsolatedHome home;
    const std::filesystem::path file = home.config() / "app.json";
    const std::string huge = "{\"DefaultAuthor\":\"" + std::string(5 * 1024 * 1024, 'a') + "\"}";
    writeText(file, huge);
    SettingsStore store(file);
    store.registerDefault("DefaultAuthor", "Orlavine User");
    EXPECT_EQ(store.stringValue("DefaultAuthor"), "Orlavine User");
    ASSERT_TRUE(store.set("UseiCloud", true));
    EXPECT_TRUE(store.boolValue("UseiCloud"));
    EXPECT_EQ(readText(file.string() + ".unreadable").size(), huge.size());
}

TEST(SettingsKeys, CloudPreferencesRecordHoldsFifteenKeysWithTheirTransferTypes) {
    using keys::Store;
    using keys::TransferType;
    struct Row {
        std::string key;
        TransferType type;
        Store store;
        bool operator<(const Row& o) const { return key < o.key; }
    };
    const std::set<Row> expected = {
        {"ACEWordWrap", TransferType::boolean, Store::app},
        {"UpdateOnLaunch", TransferType::boolean, Store::app},
        {"ACEShowErrors", TransferType::boolean, Store::app},
        {"Awesomeness", TransferType::boolean, Store::app},
        {"ACEAutocomplete", TransferType::boolean, Store::app},
        {"WarnIfDisabled", TransferType::boolean, Store::app},
        {"WarnReadOnly", TransferType::boolean, Store::app},
        {"showEditorTitle", TransferType::boolean, Store::app},
        {"ACEFontSize", TransferType::integer, Store::app},
        {"DefaultAuthor", TransferType::string, Store::app},
        {"DefaultNamespace", TransferType::string, Store::app},
        {"ACEFont", TransferType::string, Store::app},
        {"ACETheme", TransferType::string, Store::app},
        {"editorStyle", TransferType::string, Store::app},
        {"toggleShortcut", TransferType::boolean, Store::shared},
    };
    ASSERT_EQ(expected.size(), 15u);
    std::set<std::string> listed;
    for (const keys::CloudPreference& p : keys::kCloudPreferences) {
        const std::string key(p.key);
        EXPECT_TRUE(listed.insert(key).second) << key << " is listed twice";
        auto it = expected.find(Row{key, p.type, p.store});
        ASSERT_NE(it, expected.end()) << key << " does not belong in the record";
        EXPECT_EQ(it->type, p.type) << key;
        EXPECT_EQ(it->store, p.store) << key;
        EXPECT_TRUE(keys::isCloudPreference(key));
    }
    EXPECT_EQ(listed.size(), 15u);
    for (const char* local :
         {"ACEShowGutter", "InjectIframes", "UseiCloud", "hasConfigurediCloud",
          "lastSuccessfulSync", "isFirstLaunch", "isFirstStyle", "enableStyles", ""}) {
        EXPECT_FALSE(keys::isCloudPreference(local)) << local;
    }
}

}  // namespace
}  // namespace orlavine
