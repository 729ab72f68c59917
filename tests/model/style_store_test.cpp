#include "model/style_store.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "model/atomic_file.h"
#include "model/record_json.h"
#include "model/wormhole.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using testing::readText;
using testing::sampleStyle;
using testing::TempDir;
using testing::writeText;

// An alert's message and informative text.
using Alert = std::pair<std::string, std::string>;
const Alert kSaveAlert{"Error writing style database",
                       "An error occurred while trying to save changes to your styles. Your "
                       "changes may not have been saved."};
const Alert kBackupAlert{"Error writing style database",
                         "An error occurred while trying to back up your style database. Please "
                         "make sure you have permission to write to the desired path."};

class RecordingReporter : public Reporter {
  public:
    void consoleLine(std::string_view line) override {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    }
    void showAlert(std::string_view message, std::string_view informative) override {
        std::lock_guard lock(mutex_);
        alerts_.push_back({std::string(message), std::string(informative)});
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::vector<Alert> alerts() const {
        std::lock_guard lock(mutex_);
        return alerts_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::vector<Alert> alerts_;
};

// Marks each section as compiled from the code it saw, so a test can tell what was compiled.
class RecordingCompiler : public StyleCompiler {
  public:
    void compileStyle(styleContainer& style) override {
        compiled.push_back(style.uniqueID);
        for (styleSection& section : style.styleData.sections) {
            section.compiledcode = "compiled:" + section.code;
        }
        if (whileCompiling) {
            whileCompiling();
        }
    }
    std::vector<std::int64_t> compiled;
    std::function<void()> whileCompiling;
};

// Keeps what the database file held when each upload started.
class RecordingUploader : public CloudUploader {
  public:
    void uploadDatabase(const std::filesystem::path& databaseFile) override {
        std::lock_guard lock(mutex_);
        uploads_.push_back(readText(databaseFile));
    }
    std::vector<std::string> uploads() const {
        std::lock_guard lock(mutex_);
        return uploads_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> uploads_;
};

styleDatabase decodeOrFail(const std::string& bytes) {
    auto decoded = decodeDatabase(bytes);
    if (!decoded) {
        ADD_FAILURE() << "does not decode: " << decoded.error();
        return {};
    }
    return std::move(decoded).value();
}

// A style with every member set, so copies and take-overs can be checked field by field. The
// text members derive from the name, so two such styles differ in each of them.
styleContainer richStyle(std::int64_t uniqueID, const std::string& name) {
    styleContainer s = sampleStyle(uniqueID, name);
    s.styleData.url = "https://catalogue.example/styles/" + name;
    s.styleData.updateUrl = s.styleData.url + ".json";
    s.styleData.md5Url = s.styleData.url + ".md5";
    s.styleData.originalMd5 = name + "0123abcd";
    s.isEnabled = false;
    s.source = "usorg";
    s.userstyleID = 4000 + uniqueID;
    s.version = name + " 1.0";
    s.namespace_ = name + ".ns";
    s.description = name + " desc";
    s.author = name + " author";
    s.homepageURL = "https://home.example/" + name;
    s.supportURL = "https://support.example/" + name;
    s.license = name + " licence";
    s.downloadedFrom = "https://from.example/" + name + ".user.css";
    s.preprocessor = "default";
    s.exclURL = std::vector<std::string>{"https://a.example/" + name};
    s.exclDomain = std::vector<std::string>{name + ".b.example"};
    s.exclPrefix = std::vector<std::string>{"https://c.example/" + name};
    s.exclRegExp = std::vector<std::string>{".*" + name + ".*"};
    s.allowIframe = false;
    s.updateURL = "https://update.example/" + name + ".user.css";
    s.systemTheme = "dark";
    userVariable v;
    v.type = "color";
    v.name = "accent";
    v.label = "Accent";
    v.defaultValue = "#000000";
    v.currentValue = "#ff0000";
    s.userVariables = std::vector<userVariable>{v};
    s.dateModified = Date{600000000.25};
    return s;
}

// Takes the file-permission overrides that root has away from the calling thread, and gives
// them back at the end. Threads started meanwhile keep the reduced set for good.
class WithoutFileOverrides {
  public:
    WithoutFileOverrides() {
        if (::syscall(SYS_capget, &header_, saved_) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &=
            ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        active_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutFileOverrides() {
        if (active_) {
            ::syscall(SYS_capset, &header_, saved_);
        }
    }
    WithoutFileOverrides(const WithoutFileOverrides&) = delete;
    WithoutFileOverrides& operator=(const WithoutFileOverrides&) = delete;

  private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
    bool active_ = false;
};

// Whether a thread started under WithoutFileOverrides is refused new files in `folder`.
bool folderRefusesWrites(const std::filesystem::path& folder) {
    WithoutFileOverrides scope;
    bool refused = false;
    std::thread probe([&] {
        const std::filesystem::path file = folder / "probe";
        const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        refused = fd < 0;
        if (fd >= 0) {
            ::close(fd);
            ::unlink(file.c_str());
        }
    });
    probe.join();
    return refused;
}

class StyleStoreTest : public ::testing::Test {
  protected:
    StyleStoreTest() : settings(dir / "app.json") {}

    StyleStore& open() {
        store.emplace(StyleStore::Services{container(), &reporter, &notifications, &settings,
                                           &compiler, &uploader});
        return *store;
    }
    // A store holding `styles`, saved, with every write finished.
    StyleStore& openWith(std::vector<styleContainer> styles) {
        StyleStore& s = open();
        for (styleContainer& style : styles) {
            s.append(std::move(style));
        }
        s.save();
        s.waitForPendingWrites();
        return s;
    }

    std::filesystem::path container() const { return dir / "container"; }
    std::filesystem::path databaseFile() const { return container() / "styledb.sdb"; }
    std::string fileBytes() const { return readText(databaseFile()); }
    styleDatabase onDisk() const { return decodeOrFail(fileBytes()); }
    std::string wormholeBytes() const {
        auto bytes = Wormhole(container()).message("styleDBUpdated");
        return bytes ? *bytes : std::string("<no message>");
    }
    std::vector<std::filesystem::path> unreadableCopies() const {
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(container())) {
            if (entry.path().filename().string().starts_with("styledb.sdb.unreadable-")) {
                found.push_back(entry.path());
            }
        }
        return found;
    }

    TempDir dir;
    SettingsStore settings;
    RecordingReporter reporter;
    NotificationCenter notifications;
    RecordingCompiler compiler;
    RecordingUploader uploader;
    std::optional<StyleStore> store;
};

TEST_F(StyleStoreTest, FirstStartCreatesAnEmptyLibraryFile) {
    StyleStore& s = open();
    EXPECT_EQ(s.styleCount(), 0u);
    const styleDatabase db = onDisk();
    EXPECT_EQ(db.dbVersion, 1);
    EXPECT_TRUE(db.styles.empty());
    EXPECT_TRUE(db.dateModified.has_value());
    EXPECT_EQ(db, s.snapshot());
    EXPECT_THAT(reporter.lines(), IsEmpty());
    EXPECT_THAT(reporter.alerts(), IsEmpty());

    // A second start reads that file instead of making another one.
    store.reset();
    EXPECT_EQ(open().snapshot(), db);
}

TEST_F(StyleStoreTest, UnreadableLibraryIsKeptUntilTheNextSaveMovesItAside) {
    const std::filesystem::path data = ORLAVINE_TEST_DATA;
    for (const std::string& original : {readText(data / "store/truncated.sdb"),
                                        readText(data / "store/garbage.sdb"), std::string()}) {
        SCOPED_TRACE(original);
        store.reset();
        std::filesystem::remove_all(container());
        writeText(databaseFile(), original);
        RecordingReporter fresh;
        store.emplace(StyleStore::Services{container(), &fresh, &notifications, &settings,
                                           &compiler, &uploader});
        StyleStore& s = *store;

        EXPECT_EQ(s.styleCount(), 0u);
        EXPECT_THAT(fresh.lines(), Contains("Error decoding style database."));
        // Reading and changing the library leave the file alone until a save.
        s.append(sampleStyle(1, "New"));
        s.waitForPendingWrites();
        EXPECT_EQ(fileBytes(), original);
        EXPECT_THAT(unreadableCopies(), IsEmpty());

        s.save();
        s.waitForPendingWrites();
        const auto copies = unreadableCopies();
        ASSERT_EQ(copies.size(), 1u);
        EXPECT_EQ(readText(copies[0]), original);
        EXPECT_THAT(fresh.lines(), Contains(HasSubstr(copies[0].filename().string())));
        ASSERT_EQ(onDisk().styles.size(), 1u);
        EXPECT_THAT(fresh.alerts(), IsEmpty());

        // Only the file that could not be read is moved aside, once.
        s.save();
        s.waitForPendingWrites();
        EXPECT_EQ(unreadableCopies().size(), 1u);
        EXPECT_EQ(onDisk(), s.snapshot());
        std::filesystem::remove(copies[0]);
    }
}

// A library file far larger than any real one is refused without being read into memory, and
// kept like any other unreadable file.
TEST_F(StyleStoreTest, AGigabyteLibraryFileIsRefusedWithoutReadingItAndKept) {
    std::filesystem::create_directories(container());
    {
        std::ofstream sparse(databaseFile(), std::ios::binary);
        sparse << "{\"styles\":[";
    }
    std::filesystem::resize_file(databaseFile(), 1024ull * 1024 * 1024);  // sparse: no disk used

    StyleStore& s = open();
    EXPECT_EQ(s.styleCount(), 0u);
    EXPECT_THAT(reporter.lines(), Contains("Error decoding style database."));
    EXPECT_EQ(std::filesystem::file_size(databaseFile()), 1024ull * 1024 * 1024);

    s.append(sampleStyle(1, "New"));
    s.save();
    s.waitForPendingWrites();
    ASSERT_EQ(unreadableCopies().size(), 1u);
    EXPECT_EQ(std::filesystem::file_size(unreadableCopies()[0]), 1024ull * 1024 * 1024);
    EXPECT_EQ(onDisk().styles.size(), 1u);
}

TEST_F(StyleStoreTest, EachSaveStampsANewRevisionAndSendsTheFileBytesToTheBrowser) {
    StyleStore& s = openWith({sampleStyle(1, "One")});
    const std::string first = fileBytes();
    EXPECT_EQ(wormholeBytes(), first);

    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    s.save();
    s.waitForPendingWrites();
    const styleDatabase a = decodeOrFail(first);
    const styleDatabase b = onDisk();
    EXPECT_EQ(wormholeBytes(), fileBytes());
    EXPECT_NE(a.randomHash, b.randomHash);
    ASSERT_TRUE(a.dateModified && b.dateModified);
    EXPECT_GT(*b.dateModified, *a.dateModified);
    EXPECT_EQ(a.styles, b.styles);

    // Two quick saves both leave the latest state on disk.
    s.append(sampleStyle(2, "Two"));
    s.save();
    s.append(sampleStyle(3, "Three"));
    s.save();
    s.waitForPendingWrites();
    EXPECT_EQ(onDisk(), s.snapshot());
    EXPECT_EQ(onDisk().styles.size(), 3u);
    EXPECT_EQ(wormholeBytes(), fileBytes());
}
// Saves encode the library while other threads keep changing it: every file and every message
// must hold one whole state of the library. The changer keeps styles[0]'s name equal to the style
// count in each change, so an encode that sees half a change shows up as a mismatch.
TEST_F(StyleStoreTest, SavesDuringConstantChangesAlwaysWriteAWholeLibrary) {
    const std::string code(1000, 'x');
    auto filler = [&](std::int64_t id) {
        styleContainer style = sampleStyle(id, "filler");
        style.styleData.sections[0].code = code;
        return style;
    };
    std::vector<styleContainer> initial;
    for (std::int64_t id = 1; id <= 200; ++id) {
        initial.push_back(filler(id));
    }
    initial[0].styleData.name = "count 200";
    StyleStore& s = openWith(std::move(initial));

    std::atomic<int> messages{0};
    std::atomic<int> torn{0};
    auto check = [&](const std::string& bytes) {
        auto db = decodeDatabase(bytes);
        if (!db || db->styles.empty() ||
            db->styles[0].styleData.name != "count " + std::to_string(db->styles.size())) {
            ++torn;
        }
    };
    auto listener = WormholeListener::start(container(), "styleDBUpdated", [&](std::string bytes) {
        ++messages;
        check(bytes);
    });
    ASSERT_TRUE(listener) << listener.error();

    std::atomic<bool> done{false};
    std::atomic<int> fileReads{0};
    std::thread reader([&] {
        while (!done) {
            auto bytes = readWholeFile(databaseFile(), kMaxDatabaseBytes);
            if (!bytes) {
                ++torn;
            } else {
                check(*bytes);
                ++fileReads;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    // Grows and shrinks the list, so the styles move in memory while saves encode them.
    std::thread changer([&] {
        for (std::int64_t id = 1000; !done; ++id) {
            s.modify([&](styleDatabase& db) {
                if (db.styles.size() >= 400) {
                    db.styles.resize(200);
                } else {
                    db.styles.push_back(filler(id));
                }
                db.styles[0].styleData.name = "count " + std::to_string(db.styles.size());
            });
        }
    });
    // The operations that save by themselves, while the changer goes on.
    for (int i = 1; i <= 25; ++i) {
        s.rename(1, "renamed " + std::to_string(i));
        s.setEnabled(2, i % 2 == 0);
        s.save();
        s.waitForPendingWrites();
    }
    done = true;
    changer.join();
    reader.join();
    // The changer may have made one more change after the last save.
    s.save();
    s.waitForPendingWrites();
    listener->reset();

    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(messages.load(), 0);
    EXPECT_GT(fileReads.load(), 0);
    EXPECT_EQ(onDisk(), s.snapshot());
    EXPECT_EQ(wormholeBytes(), fileBytes());
    EXPECT_THAT(reporter.lines(), IsEmpty());
}

TEST_F(StyleStoreTest, UploadsFollowTheCloudSettingButNeverCarryReceivedChanges) {
    StyleStore& s = openWith({sampleStyle(1, "One")});
    EXPECT_THAT(uploader.uploads(), IsEmpty());

    ASSERT_TRUE(settings.set("UseiCloud", true));
    s.rename(0, "Uploaded");
    s.waitForPendingWrites();
    // The upload starts once the file holds the new state.
    ASSERT_EQ(uploader.uploads().size(), 1u);
    EXPECT_EQ(uploader.uploads()[0], fileBytes());
    EXPECT_EQ(decodeOrFail(uploader.uploads()[0]).styles[0].styleData.name, "Uploaded");

    // Received changes keep their stamps and are written, but not uploaded.
    styleDatabase merged;
    merged.styles = {sampleStyle(7, "From the cloud")};
    merged.randomHash = 4294967295;
    merged.dateModified = Date{123456.5};
    s.replaceAll(merged);
    s.saveReceivedChanges();
    s.waitForPendingWrites();
    EXPECT_EQ(onDisk(), merged);
    EXPECT_EQ(s.snapshot(), merged);
    EXPECT_EQ(wormholeBytes(), fileBytes());
    EXPECT_EQ(uploader.uploads().size(), 1u);

    ASSERT_TRUE(settings.set("UseiCloud", false));
    s.save();
    s.waitForPendingWrites();
    EXPECT_EQ(uploader.uploads().size(), 1u);

    // Without a settings store sync counts as off.
    store.reset();
    store.emplace(StyleStore::Services{container(), &reporter, &notifications, nullptr, &compiler,
                                       &uploader});
    store->save();
    store->waitForPendingWrites();
    EXPECT_EQ(uploader.uploads().size(), 1u);
}
TEST_F(StyleStoreTest, WriteFailuresAreReportedAndKeepBothMemoryAndFile) {
    std::filesystem::create_directories(container());
    std::filesystem::permissions(
        container(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (!folderRefusesWrites(container())) {
        GTEST_SKIP() << "this process can write into read-only folders";
    }

    {
        // First start in a read-only folder: reported, and the library starts empty.
        WithoutFileOverrides scope;
        open();
        EXPECT_EQ(store->styleCount(), 0u);
    }
    EXPECT_FALSE(std::filesystem::exists(databaseFile()));
    EXPECT_THAT(reporter.lines(), Contains("Error writing style database."));
    EXPECT_THAT(reporter.alerts(), ElementsAre(kSaveAlert));
    store.reset();

    // A library saved while the folder was writable, then the folder turns read-only.
    std::filesystem::permissions(container(), std::filesystem::perms::owner_all);
    {
        WithoutFileOverrides scope;
        openWith({sampleStyle(1, "Before")});
    }
    StyleStore& s = *store;
    const std::string before = fileBytes();
    ASSERT_EQ(onDisk().styles.size(), 1u);
    std::filesystem::permissions(
        container(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);

    s.rename(0, "After");
    s.waitForPendingWrites();
    EXPECT_THAT(reporter.alerts(), ElementsAre(kSaveAlert, kSaveAlert));
    EXPECT_EQ(s.snapshot().styles[0].styleData.name, "After");
    EXPECT_EQ(fileBytes(), before);

    s.saveReceivedChanges();
    s.waitForPendingWrites();
    EXPECT_THAT(reporter.alerts(), ElementsAre(kSaveAlert, kSaveAlert, kSaveAlert));
    EXPECT_EQ(fileBytes(), before);

    // The pre-sync copy only gets a console line.
    const std::size_t linesBefore = reporter.lines().size();
    s.keepPreCloudCopy();
    s.waitForPendingWrites();
    EXPECT_FALSE(std::filesystem::exists(container() / "styledb-pre-icloud.sdb"));
    const auto lines = reporter.lines();
    ASSERT_GT(lines.size(), linesBefore);
    EXPECT_EQ(lines[linesBefore], "Error writing style database.");
    EXPECT_EQ(reporter.alerts().size(), 3u);

    // Once the folder is writable again the change that stayed in memory reaches the file.
    std::filesystem::permissions(container(), std::filesystem::perms::owner_all);
    s.save();
    s.waitForPendingWrites();
    EXPECT_EQ(onDisk().styles[0].styleData.name, "After");
}

TEST_F(StyleStoreTest, BackUpsAndThePreCloudCopy) {
    StyleStore& s = openWith({sampleStyle(1, "One"), sampleStyle(2, "Two")});
    const styleDatabase original = s.snapshot();

    std::optional<bool> outcome;
    s.backUp(dir / "backups" / "mine.sdb", [&](Status status) { outcome = status.ok(); });
    s.keepPreCloudCopy();
    s.waitForPendingWrites();
    EXPECT_EQ(outcome, true);
    EXPECT_EQ(decodeOrFail(readText(dir / "backups" / "mine.sdb")), original);

    // The pre-sync copy is written only once.
    s.rename(0, "Changed by sync");
    s.keepPreCloudCopy();
    s.waitForPendingWrites();
    EXPECT_EQ(s.preCloudFile(), container() / "styledb-pre-icloud.sdb");
    EXPECT_EQ(decodeOrFail(readText(s.preCloudFile())), original);
    EXPECT_EQ(onDisk().styles[0].styleData.name, "Changed by sync");

    // A place below a plain file cannot be written, whoever runs the program.
    writeText(dir / "not-a-folder", "x");
    s.backUp(dir / "not-a-folder" / "mine.sdb", [&](Status status) { outcome = status.ok(); });
    s.waitForPendingWrites();
    EXPECT_EQ(outcome, false);
    EXPECT_THAT(reporter.lines(), Contains("Error writing style database."));
    EXPECT_THAT(reporter.alerts(), ElementsAre(kBackupAlert));
    EXPECT_EQ(onDisk(), s.snapshot());
}

TEST_F(StyleStoreTest, ListOperationsSaveAndTellTheWindows) {
    const styleContainer dark = richStyle(10, "Dark");
    StyleStore& s = openWith({dark, sampleStyle(11, "B"), sampleStyle(12, "C")});
    std::vector<std::int64_t> closed;
    std::vector<std::pair<std::int64_t, std::string>> renamed;
    bool presentWhenClosed = false;
    bool savedWhenRenamed = false;
    notifications.addObserver("closeProperties", [&](const Notification& n) {
        const std::int64_t id = std::get<std::int64_t>(n.userInfo.at("id"));
        closed.push_back(id);
        presentWhenClosed = s.styleByID(id).has_value() && s.styleCount() == 3;
    });
    const std::int64_t hashBefore = s.snapshot().randomHash;
    notifications.addObserver("styleNameChanged", [&](const Notification& n) {
        renamed.emplace_back(std::get<std::int64_t>(n.userInfo.at("id")),
                             std::get<std::string>(n.userInfo.at("newname")));
        savedWhenRenamed = s.snapshot().randomHash != hashBefore;
    });

    // Renaming tells the editors after the save was queued.
    EXPECT_TRUE(s.rename(1, "Bee"));
    EXPECT_THAT(renamed, ElementsAre(std::pair<std::int64_t, std::string>{11, "Bee"}));
    EXPECT_TRUE(savedWhenRenamed);
    // Removing closes the properties window while the style is still there.
    EXPECT_TRUE(s.remove(1));
    EXPECT_THAT(closed, ElementsAre(11));
    EXPECT_TRUE(presentWhenClosed);
    EXPECT_EQ(s.positionByID(12), 1u);
    // A duplicate is a custom copy at the end with everything else copied.
    EXPECT_TRUE(s.duplicate(0));
    s.waitForPendingWrites();
    const styleDatabase db = onDisk();
    ASSERT_EQ(db.styles.size(), 3u);
    EXPECT_EQ(db.styles[1].uniqueID, 12);
    styleContainer expected = dark;
    expected.styleData.name = "Copy of Dark";
    expected.source = "custom";
    expected.userstyleID = -1;
    expected.uniqueID = db.styles[2].uniqueID;
    EXPECT_EQ(db.styles[2], expected);
    EXPECT_NE(expected.uniqueID, 10);
    EXPECT_NE(expected.uniqueID, 12);
    EXPECT_EQ(db.styles[0], dark);

    // Positions past the end change nothing.
    EXPECT_FALSE(s.rename(3, "Nobody"));
    EXPECT_FALSE(s.remove(3));
    EXPECT_FALSE(s.duplicate(3));
    EXPECT_FALSE(s.setEnabled(3, true));
    EXPECT_EQ(closed.size(), 1u);
    EXPECT_EQ(renamed.size(), 1u);
    EXPECT_EQ(s.snapshot().styles, db.styles);
}

TEST_F(StyleStoreTest, EditsTakeOverOnlyTheirOwnFieldsAndAreCompiled) {
    const styleContainer stored = richStyle(10, "Stored");
    StyleStore& s = openWith({stored, sampleStyle(11, "Other")});
    std::vector<std::int64_t> favicons;
    notifications.addObserver("updateFavicons", [&](const Notification& n) {
        favicons.push_back(std::get<std::int64_t>(n.userInfo.at("id")));
    });
    const auto storedNow = [&] {
        s.waitForPendingWrites();
        return onDisk().styles.at(0);
    };

    // An edit that differs from the stored style in every field.
    styleContainer edited = richStyle(10, "Edited");
    edited.styleData.sections[0].code = "p { margin: 0; }";
    edited.isEnabled = true;
    edited.source = "custom";
    edited.userstyleID = -1;
    edited.preprocessor = "less";
    edited.allowIframe = true;
    edited.systemTheme = "light";
    edited.userVariables->at(0).currentValue = "#00ff00";
    edited.dateModified = Date{1};

    // The properties panel takes over the frame permission, exclusions, theme and variables.
    const Date before = Date::now();
    EXPECT_TRUE(s.updateProperties(edited));
    styleContainer expected = stored;
    expected.allowIframe = edited.allowIframe;
    expected.exclURL = edited.exclURL;
    expected.exclDomain = edited.exclDomain;
    expected.exclPrefix = edited.exclPrefix;
    expected.exclRegExp = edited.exclRegExp;
    expected.systemTheme = edited.systemTheme;
    expected.userVariables = edited.userVariables;
    expected.styleData.sections[0].compiledcode = "compiled:" + stored.styleData.sections[0].code;
    styleContainer result = storedNow();
    EXPECT_TRUE(result.dateModified >= before && result.dateModified <= Date::now());
    expected.dateModified = result.dateModified;
    EXPECT_EQ(result, expected);

    // The editor takes over the code and metadata, under the ID it was given, and has the
    // favicons refreshed.
    edited.uniqueID = 55;
    EXPECT_TRUE(s.saveEditedStyle(10, edited));
    expected.styleData = edited.styleData;
    expected.styleData.sections[0].compiledcode = "compiled:p { margin: 0; }";
    expected.version = edited.version;
    expected.namespace_ = edited.namespace_;
    expected.description = edited.description;
    expected.author = edited.author;
    expected.license = edited.license;
    expected.preprocessor = edited.preprocessor;
    result = storedNow();
    EXPECT_TRUE(result.dateModified >= before && result.dateModified <= Date::now());
    expected.dateModified = result.dateModified;
    EXPECT_EQ(result, expected);
    EXPECT_THAT(favicons, ElementsAre(10));

    // Edits of a style that is gone change nothing.
    EXPECT_FALSE(s.updateProperties(edited));
    EXPECT_FALSE(s.saveEditedStyle(99, edited));
    EXPECT_THAT(compiler.compiled, ElementsAre(10, 10));
    EXPECT_THAT(favicons, ElementsAre(10));
}

// Compiling can take a while; another thread that changes the same style meanwhile (the list
// toggling it, a cloud merge) must not lose its change to the edit being stored.
TEST_F(StyleStoreTest, EditsDoNotUndoChangesMadeWhileTheyCompile) {
    StyleStore& s = openWith({richStyle(10, "Before")});
    std::thread other;
    auto changeMeanwhile = [&](std::function<void()> change) {
        compiler.whileCompiling = [&, change] {
            other = std::thread(change);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        };
    };

    changeMeanwhile([&] { s.rename(0, "Renamed meanwhile"); });
    styleContainer properties = s.styleByID(10).value();
    properties.systemTheme = "light";
    EXPECT_TRUE(s.updateProperties(properties));
    other.join();

    changeMeanwhile([&] { s.setEnabled(0, true); });
    styleContainer edit = s.styleByID(10).value();
    edit.author = "Edited";
    EXPECT_TRUE(s.saveEditedStyle(10, edit));
    other.join();

    s.waitForPendingWrites();
    const styleContainer result = onDisk().styles.at(0);
    EXPECT_EQ(result.styleData.name, "Renamed meanwhile");
    EXPECT_EQ(result.systemTheme, "light");
    EXPECT_TRUE(result.isEnabled);
    EXPECT_EQ(result.author, "Edited");
    EXPECT_EQ(onDisk(), s.snapshot());
}

TEST_F(StyleStoreTest, ReplacementsKeepTheUsersChoices) {
    const styleContainer stored = richStyle(10, "Old");
    StyleStore& s = openWith({sampleStyle(9, "First"), stored});
    const std::string fileBefore = fileBytes();

    styleJSON data;
    data.name = "Fresh data";
    const Date before = Date::now();
    EXPECT_TRUE(s.replaceStyleData(10, data));
    const styleContainer withData = *s.styleByID(10);
    EXPECT_EQ(withData.styleData, data);
    EXPECT_TRUE(withData.dateModified >= before);
    EXPECT_FALSE(s.replaceStyleData(99, data));

    styleContainer next = sampleStyle(10, "New version");
    next.version = "3.0";
    EXPECT_TRUE(s.replaceByNewVersion(10, next));
    styleContainer expected = next;
    expected.isEnabled = stored.isEnabled;
    expected.allowIframe = stored.allowIframe;
    expected.exclURL = stored.exclURL;
    expected.exclDomain = stored.exclDomain;
    expected.exclPrefix = stored.exclPrefix;
    expected.exclRegExp = stored.exclRegExp;
    expected.systemTheme = stored.systemTheme;
    EXPECT_EQ(s.snapshot().styles.at(1), expected);
    EXPECT_FALSE(s.replaceByNewVersion(99, next));

    // Neither saves by itself.
    s.waitForPendingWrites();
    EXPECT_EQ(fileBytes(), fileBefore);

    // Carrying variable values over recompiles the result.
    styleContainer update = stored;
    update.userVariables->at(0).currentValue = "#000000";
    const styleContainer carried = s.carryOverVariableValues(stored, update);
    EXPECT_EQ(carried.userVariables->at(0).currentValue, "#ff0000");
    EXPECT_EQ(carried.styleData.sections[0].compiledcode,
              "compiled:" + stored.styleData.sections[0].code);
    EXPECT_THAT(compiler.compiled, ElementsAre(10));
}

TEST_F(StyleStoreTest, CountsForTheStyleList) {
    StyleStore& s = open();
    EXPECT_TRUE(s.mostlyEnabled());
    EXPECT_EQ(s.updatableCount(), 0u);

    for (const char* source : {"custom", "usorg", "usercss"}) {
        styleContainer style = sampleStyle(static_cast<std::int64_t>(s.styleCount()) + 1, source);
        style.source = source;
        style.isEnabled = style.source == "custom";
        s.append(style);
    }
    EXPECT_EQ(s.updatableCount(), 2u);
    EXPECT_TRUE(s.mostlyEnabled());  // 1 of 3: at least 3 / 2 = 1

    s.setAllEnabled(false);
    EXPECT_FALSE(s.mostlyEnabled());
    s.setAllEnabled(true);
    s.waitForPendingWrites();
    EXPECT_TRUE(s.mostlyEnabled());
    for (const styleContainer& style : onDisk().styles) {
        EXPECT_TRUE(style.isEnabled);
        EXPECT_EQ(style.dateModified, Date{700000000.5});  // not touched
    }
    EXPECT_THAT(reporter.lines(), Not(Contains("Error writing style database.")));
}

}  // namespace
}  // namespace orlavine
