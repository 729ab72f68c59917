#include "model/style_store.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <sys/stat.h>
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
#include "model/library_index.h"
#include "model/library_outline.h"
#include "model/record_json.h"
#include "model/wormhole.h"
#include "support/test_support.h"
#include "text/text.h"

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
    StyleStoreTest() : settings(dir / "app.json") {
        notifications.addObserver("libraryChanged", [this](const Notification& n) {
            std::lock_guard lock(noticesMutex);
            if (n.userInfo.contains("everything")) {
                notices.push_back({-1});
            } else {
                notices.push_back(std::get<std::vector<std::int64_t>>(n.userInfo.at("ids")));
            }
        });
    }

    StyleStore& open() {
        store.emplace(StyleStore::Services{container(), &reporter, &notifications, &settings,
                                           &compiler, &uploader});
        return *store;
    }
    // A second program on the same library.
    std::unique_ptr<StyleStore> other(Reporter& otherReporter) {
        return std::make_unique<StyleStore>(StyleStore::Services{
            container(), &otherReporter, &otherNotifications, &settings, nullptr, nullptr});
    }
    StyleStore& openWith(const std::vector<styleContainer>& styles) {
        StyleStore& s = open();
        for (const styleContainer& style : styles) {
            EXPECT_TRUE(s.add(style));
        }
        std::lock_guard lock(noticesMutex);
        notices.clear();
        return s;
    }
    std::vector<std::vector<std::int64_t>> takeNotices() {
        std::lock_guard lock(noticesMutex);
        return std::exchange(notices, {});
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
    NotificationCenter otherNotifications;
    RecordingCompiler compiler;
    RecordingUploader uploader;
    std::mutex noticesMutex;
    std::vector<std::vector<std::int64_t>> notices;  // {-1}: everything
    std::optional<StyleStore> store;
};

TEST_F(StyleStoreTest, FirstStartCreatesAnEmptyLibraryFileThatTheNextStartReads) {
    StyleStore& s = open();
    EXPECT_EQ(s.styleCount(), 0u);
    const styleDatabase db = onDisk();
    EXPECT_TRUE(db.styles.empty());
    EXPECT_TRUE(db.dateModified.has_value());
    EXPECT_EQ(db, s.snapshot());
    EXPECT_THAT(reporter.lines(), IsEmpty());
    store.reset();
    EXPECT_EQ(open().snapshot(), db);
}

// The index the browser host keeps spares a store decoding the library; what the store shows and
// writes is the same as without it, and an index that does not fit the file is not used.
TEST_F(StyleStoreTest, TheLibrarysIndexGivesWhatTheFileHolds) {
    styleDatabase db;
    db.styles = {sampleStyle(1, "One"), sampleStyle(2, "Two")};
    db.styles[0].styleData.sections[0].code = "a { content: \"\\\" }\n\u00e9";
    std::string text = encodeDatabase(db);
    // Code as other programs may write it: with \u escapes.
    const std::string plain = R"("code":"body { color: red; }")";
    ASSERT_NE(text.find(plain), std::string::npos);
    text.replace(text.find(plain), plain.size(), R"("code":"a { content: '\ud83d\ude00\u0041' }")");
    ASSERT_TRUE(writeFileAtomically(databaseFile(), text));
    const styleDatabase expected = onDisk();

    // An index as the host writes it, but with other names: only a store that reads it shows
    // them.
    const auto spansOf = [](const LibraryOutline& outline) {
        std::vector<CodeSpan> spans;
        for (std::string_view stored : outline.storedCode()) {
            spans.push_back(
                {outline.offsetInText(stored), static_cast<std::uint32_t>(stored.size()), false});
        }
        return spans;
    };
    auto outline = LibraryOutline::read(std::make_shared<const std::string>(text));
    ASSERT_TRUE(outline);
    std::vector<CodeSpan> spans = spansOf(outline->first);
    styleDatabase indexed = outline->second;
    indexed.styles[1].styleData.name = "Two, as indexed";
    struct stat info {};
    ASSERT_EQ(::stat(databaseFile().c_str(), &info), 0);
    LibraryFileIdentity file = LibraryFileIdentity::of(info);
    file.inode += 1;  // made from another file
    const std::uint64_t skeleton = skeletonChecksum(text, spans);
    ASSERT_TRUE(writeLibraryIndex(databaseFile(), indexed, spans, skeleton, file));
    EXPECT_EQ(open().styleByID(2)->styleData.name, "Two");

    ASSERT_TRUE(
        writeLibraryIndex(databaseFile(), indexed, spans, skeleton, LibraryFileIdentity::of(info)));
    StyleStore& reader = open();
    EXPECT_EQ(reader.styleByID(2)->styleData.name, "Two, as indexed");
    EXPECT_EQ(reader.read([](const styleDatabase& d) { return d.styles[0]; }), expected.styles[0]);
    ASSERT_TRUE(reader.setEnabled(1, false));
    styleDatabase written = onDisk();
    EXPECT_FALSE(written.styles[0].isEnabled);
    written.styles[0].isEnabled = true;
    written.styles[0].dateModified = expected.styles[0].dateModified;
    written.styles[1].styleData.name = "Two";
    EXPECT_EQ(written.styles, expected.styles);

    // An index of another text under the same name, or whose spans are no strings of the
    // file: the file is read whole.
    const std::string now = fileBytes();
    outline = LibraryOutline::read(std::make_shared<const std::string>(now));
    ASSERT_TRUE(outline);
    spans = spansOf(outline->first);
    indexed.styles[1].styleData.name = "Not in the file";
    ASSERT_EQ(::stat(databaseFile().c_str(), &info), 0);
    ASSERT_TRUE(
        writeLibraryIndex(databaseFile(), indexed, spans, skeleton, LibraryFileIdentity::of(info)));
    EXPECT_EQ(open().styleByID(2)->styleData.name, onDisk().styles[1].styleData.name);
    spans[0].length += 1;
    ASSERT_TRUE(writeLibraryIndex(databaseFile(), indexed, spans, skeletonChecksum(now, spans),
                                  LibraryFileIdentity::of(info)));
    EXPECT_EQ(open().styleByID(2)->styleData.name, onDisk().styles[1].styleData.name);
}

TEST_F(StyleStoreTest, UnreadableLibraryIsKeptUntilTheFirstChangeMovesItAside) {
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
        EXPECT_TRUE(s.loadFailed());
        EXPECT_THAT(fresh.lines(), Contains("Error decoding style database."));
        EXPECT_EQ(fileBytes(), original);

        ASSERT_TRUE(s.add(sampleStyle(1, "New")));
        const auto copies = unreadableCopies();
        ASSERT_EQ(copies.size(), 1u);
        EXPECT_EQ(readText(copies[0]), original);
        EXPECT_THAT(fresh.lines(), Contains(HasSubstr(copies[0].filename().string())));
        EXPECT_EQ(onDisk(), s.snapshot());
        // Only the file that could not be read is moved aside, once.
        ASSERT_TRUE(s.add(sampleStyle(2, "Second")));
        EXPECT_EQ(unreadableCopies().size(), 1u);
        EXPECT_THAT(fresh.alerts(), IsEmpty());
        std::filesystem::remove(copies[0]);
    }
}

// A library file that exists but cannot be used at all is never replaced: every change fails
// and says why, and nothing waits on it (a FIFO would block a plain read for ever).
TEST_F(StyleStoreTest, ALibraryThatCannotBeOpenedIsNeverReplaced) {
    std::filesystem::create_directories(container());
    ASSERT_EQ(::mkfifo(databaseFile().c_str(), 0600), 0);
    StyleStore& s = open();
    EXPECT_EQ(s.styleCount(), 0u);
    ASSERT_TRUE(s.openFailure().has_value());
    EXPECT_THAT(*s.openFailure(), HasSubstr("not a regular file"));
    const Result<std::int64_t> added = s.add(sampleStyle(1, "New"));
    ASSERT_FALSE(added);
    EXPECT_THAT(added.error(), HasSubstr("not a regular file"));
    EXPECT_TRUE(std::filesystem::is_fifo(databaseFile()));
    EXPECT_THAT(unreadableCopies(), IsEmpty());
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
    ASSERT_TRUE(s.add(sampleStyle(1, "New")));
    ASSERT_EQ(unreadableCopies().size(), 1u);
    EXPECT_EQ(std::filesystem::file_size(unreadableCopies()[0]), 1024ull * 1024 * 1024);
    EXPECT_EQ(onDisk().styles.size(), 1u);
}

TEST_F(StyleStoreTest, EachChangeStampsARevisionSendsTheFileBytesAndTellsWhatChanged) {
    StyleStore& s = openWith({sampleStyle(1, "One")});
    const styleDatabase first = onDisk();
    EXPECT_EQ(wormholeBytes(), fileBytes());

    ASSERT_EQ(s.rename(1, "Uno"), true);
    const styleDatabase second = onDisk();
    EXPECT_EQ(wormholeBytes(), fileBytes());
    EXPECT_NE(first.randomHash, second.randomHash);
    EXPECT_GE(*second.dateModified, *first.dateModified);
    EXPECT_EQ(second, s.snapshot());
    EXPECT_THAT(takeNotices(), ElementsAre(ElementsAre(1)));

    // A change that changes nothing writes nothing.
    ASSERT_EQ(s.setEnabled(1, true), true);
    EXPECT_EQ(onDisk(), second);
    EXPECT_THAT(takeNotices(), IsEmpty());

    // Merges and changes of every style tell "everything".
    ASSERT_TRUE(s.setAllEnabled(false));
    EXPECT_THAT(takeNotices(), ElementsAre(ElementsAre(-1)));
}

// Two programs on one library: each change applies to the library as the other left it, and a
// program that only reads sees the other's change once it refreshes (the change notice's job).
TEST_F(StyleStoreTest, ChangesOfAnotherProgramAreNeverOverwritten) {
    StyleStore& mine = openWith({sampleStyle(1, "One"), sampleStyle(2, "Two")});
    RecordingReporter theirReporter;
    auto theirs = other(theirReporter);
    ASSERT_EQ(theirs->styleCount(), 2u);

    ASSERT_EQ(theirs->setEnabled(1, false), true);
    ASSERT_TRUE(mine.add(sampleStyle(3, "Three")));  // from a library that had not seen it
    ASSERT_EQ(theirs->rename(2, "Deux"), true);
    const styleDatabase db = onDisk();
    ASSERT_EQ(db.styles.size(), 3u);
    EXPECT_FALSE(db.styles[0].isEnabled);
    EXPECT_EQ(db.styles[1].styleData.name, "Deux");

    takeNotices();
    EXPECT_TRUE(mine.refresh());
    EXPECT_EQ(mine.snapshot(), db);
    EXPECT_THAT(takeNotices(), ElementsAre(ElementsAre(-1)));
    EXPECT_FALSE(mine.refresh());

    // Many threads of both programs at once: every change lands.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            StyleStore& target = t % 2 == 0 ? mine : *theirs;
            for (int i = 0; i < 15; ++i) {
                EXPECT_TRUE(target.add(sampleStyle(100 + t * 100 + i, "Added")));
                EXPECT_TRUE(target.setEnabled(2, i % 2 == 0));
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(onDisk().styles.size(), 63u);
    mine.refresh();
    EXPECT_EQ(mine.snapshot(), onDisk());
    EXPECT_THAT(reporter.alerts(), IsEmpty());
    EXPECT_THAT(theirReporter.alerts(), IsEmpty());
}

TEST_F(StyleStoreTest, UploadsFollowTheCloudSettingButNeverCarryReceivedChanges) {
    StyleStore& s = openWith({sampleStyle(1, "One")});
    EXPECT_THAT(uploader.uploads(), IsEmpty());

    ASSERT_TRUE(settings.set("UseiCloud", true));
    ASSERT_TRUE(s.rename(1, "Uploaded"));
    // The upload starts once the file holds the new state.
    ASSERT_EQ(uploader.uploads().size(), 1u);
    EXPECT_EQ(uploader.uploads()[0], fileBytes());

    // Received changes keep their stamps and are written, but not uploaded.
    styleDatabase merged;
    merged.styles = {sampleStyle(7, "From the cloud")};
    merged.randomHash = 4294967295;
    merged.dateModified = Date{123456.5};
    ASSERT_TRUE(s.change(
        [&](styleDatabase& db, LibraryChange& changed) {
            db = merged;
            changed.everything = true;
            return true;
        },
        ChangeOrigin::received));
    EXPECT_EQ(onDisk(), merged);
    EXPECT_EQ(wormholeBytes(), fileBytes());
    EXPECT_EQ(uploader.uploads().size(), 1u);

    ASSERT_TRUE(settings.set("UseiCloud", false));
    ASSERT_TRUE(s.rename(7, "Not uploaded"));
    EXPECT_EQ(uploader.uploads().size(), 1u);
}

TEST_F(StyleStoreTest, WriteFailuresAreReportedAndLeaveMemoryAsTheFile) {
    StyleStore& s = [&]() -> StyleStore& {
        WithoutFileOverrides scope;
        return openWith({sampleStyle(1, "Before")});
    }();
    const std::string before = fileBytes();
    std::filesystem::permissions(
        container(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (!folderRefusesWrites(container())) {
        GTEST_SKIP() << "this process can write into read-only folders";
    }
    Result<bool> renamed = Error{};
    std::thread writer([&] {
        WithoutFileOverrides scope;
        renamed = s.rename(1, "After");
    });
    writer.join();
    EXPECT_FALSE(renamed);
    EXPECT_THAT(reporter.alerts(), ElementsAre(kSaveAlert));
    EXPECT_EQ(s.snapshot().styles[0].styleData.name, "Before");
    EXPECT_EQ(fileBytes(), before);
    EXPECT_THAT(takeNotices(), IsEmpty());
    std::filesystem::permissions(container(), std::filesystem::perms::owner_all);
}

TEST_F(StyleStoreTest, BackUpsAndThePreCloudCopy) {
    StyleStore& s = openWith({sampleStyle(1, "One"), sampleStyle(2, "Two")});
    const styleDatabase original = s.snapshot();
    EXPECT_TRUE(s.backUp(dir / "backups" / "mine.sdb"));
    s.keepPreCloudCopy();
    EXPECT_EQ(decodeOrFail(readText(dir / "backups" / "mine.sdb")), original);

    // The pre-sync copy is written only once.
    ASSERT_TRUE(s.rename(1, "Changed by sync"));
    s.keepPreCloudCopy();
    EXPECT_EQ(decodeOrFail(readText(s.preCloudFile())), original);

    // A place below a plain file cannot be written, whoever runs the program.
    writeText(dir / "not-a-folder", "x");
    EXPECT_FALSE(s.backUp(dir / "not-a-folder" / "mine.sdb"));
    EXPECT_THAT(reporter.lines(), Contains("Error writing style database."));
    EXPECT_THAT(reporter.alerts(), ElementsAre(kBackupAlert));
}

// Sets the process's umask for its lifetime.
class UmaskScope {
  public:
    explicit UmaskScope(mode_t mask) : old_(::umask(mask)) {}
    ~UmaskScope() { ::umask(old_); }
    UmaskScope(const UmaskScope&) = delete;
    UmaskScope& operator=(const UmaskScope&) = delete;

  private:
    mode_t old_;
};

unsigned modeOf(const std::filesystem::path& file) {
    return static_cast<unsigned>(std::filesystem::status(file).permissions() &
                                 std::filesystem::perms::mask);
}

// New files follow the umask, and the change notice that carries the library's content is never
// more readable than the library file, whatever made its folder first.
TEST(StyleStoreFiles, NewFilesFollowTheUmaskAndTheNoticeIsNoMoreReadableThanTheLibrary) {
    struct Case {
        mode_t umask;
        std::optional<unsigned> libraryMode;  // set on the library after its first save
        bool folderMadeFirst;                 // the browser host's watcher made the folder 0755
        unsigned library;
        unsigned others;  // settings, backup
        unsigned message;
        unsigned folder;
    };
    const Case cases[] = {
        {077, std::nullopt, false, 0600, 0600, 0600, 0700},
        {022, std::nullopt, false, 0644, 0644, 0644, 0755},
        {027, std::nullopt, false, 0640, 0640, 0640, 0750},
        {022, 0600, true, 0600, 0644, 0600, 0700},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "umask " << std::oct << c.umask);
        TempDir dir;
        RecordingReporter reporter;
        NotificationCenter notifications;
        std::optional<SettingsStore> settings;
        std::optional<StyleStore> store;
        {
            UmaskScope scope(c.umask);
            settings.emplace(dir / "config" / "app.json");
            store.emplace(StyleStore::Services{dir / "data", &reporter, &notifications, &*settings,
                                               nullptr, nullptr});
            if (c.folderMadeFirst) {
                std::filesystem::create_directories(dir / "data");
                ASSERT_EQ(::mkdir((dir / "data" / "wormhole").c_str(), 0755), 0);
            }
            ASSERT_TRUE(store->add(sampleStyle(1, "One")));
            if (c.libraryMode) {
                std::filesystem::permissions(dir / "data" / "styledb.sdb",
                                             std::filesystem::perms(*c.libraryMode));
                ::chmod((dir / "data" / "wormhole").c_str(), 0755);
            }
            ASSERT_TRUE(store->add(sampleStyle(2, "Two")));
            ASSERT_TRUE(settings->set("toggleShortcut", false));
            ASSERT_TRUE(store->backUp(dir / "backups" / "mine.sdb"));
        }
        EXPECT_EQ(modeOf(dir / "data" / "styledb.sdb"), c.library);
        EXPECT_EQ(modeOf(dir / "config" / "app.json"), c.others);
        EXPECT_EQ(modeOf(dir / "backups" / "mine.sdb"), c.others);
        EXPECT_EQ(modeOf(dir / "data" / "wormhole" / "styleDBUpdated.message"), c.message);
        EXPECT_EQ(modeOf(dir / "data" / "wormhole"), c.folder);
    }
}

TEST_F(StyleStoreTest, ListOperationsByIDStampTheStyleAndTellTheWindows) {
    const styleContainer dark = richStyle(10, "Dark");
    StyleStore& s = openWith({dark, sampleStyle(11, "B"), sampleStyle(12, "C")});
    std::vector<std::int64_t> closed;
    std::vector<std::pair<std::int64_t, std::string>> renamed;
    bool presentWhenClosed = false;
    notifications.addObserver("closeProperties", [&](const Notification& n) {
        const std::int64_t id = std::get<std::int64_t>(n.userInfo.at("id"));
        closed.push_back(id);
        presentWhenClosed = s.styleByID(id).has_value();
    });
    notifications.addObserver("styleNameChanged", [&](const Notification& n) {
        renamed.emplace_back(std::get<std::int64_t>(n.userInfo.at("id")),
                             std::get<std::string>(n.userInfo.at("newname")));
    });

    // A rename and a switch are changes of the style: the later one wins in a sync merge.
    ASSERT_EQ(s.rename(11, "Bee"), true);
    EXPECT_THAT(renamed, ElementsAre(std::pair<std::int64_t, std::string>{11, "Bee"}));
    ASSERT_EQ(s.setEnabled(10, true), true);
    EXPECT_GT(*s.styleByID(10)->dateModified, *dark.dateModified);
    EXPECT_GT(*s.styleByID(11)->dateModified, *dark.dateModified);
    // Removing closes the properties window while the style is still there.
    ASSERT_EQ(s.remove(11), true);
    EXPECT_THAT(closed, ElementsAre(11));
    EXPECT_TRUE(presentWhenClosed);
    // A duplicate is a custom copy at the end with everything else copied.
    const Result<std::optional<std::int64_t>> copy = s.duplicate(10);
    ASSERT_TRUE(copy && copy->has_value());
    const styleDatabase db = onDisk();
    ASSERT_EQ(db.styles.size(), 3u);
    styleContainer expected = *s.styleByID(10);
    expected.styleData.name = "Copy of Dark";
    expected.source = "custom";
    expected.userstyleID = -1;
    expected.uniqueID = **copy;
    expected.dateModified = db.styles[2].dateModified;
    EXPECT_EQ(db.styles[2], expected);
    EXPECT_NE(**copy, 10);
    EXPECT_THAT(takeNotices(), ElementsAre(ElementsAre(11), ElementsAre(10), ElementsAre(11),
                                           ElementsAre(**copy)));

    // Styles that are not there change nothing.
    EXPECT_EQ(s.rename(99, "Nobody"), false);
    EXPECT_EQ(s.remove(99), false);
    const auto none = s.duplicate(99);
    ASSERT_TRUE(none) << none.error();
    EXPECT_EQ(*none, std::nullopt);
    EXPECT_EQ(s.setEnabled(99, true), false);
    EXPECT_EQ(renamed.size(), 1u);
    EXPECT_EQ(onDisk(), db);
}

TEST_F(StyleStoreTest, EditsTakeOverOnlyTheirOwnFieldsAndAreCompiled) {
    const styleContainer stored = richStyle(10, "Stored");
    StyleStore& s = openWith({stored, sampleStyle(11, "Other")});
    std::vector<std::int64_t> favicons;
    notifications.addObserver("updateFavicons", [&](const Notification& n) {
        favicons.push_back(std::get<std::int64_t>(n.userInfo.at("id")));
    });

    // An edit that differs from the stored style in every field.
    styleContainer edited = richStyle(10, "Edited");
    edited.styleData.sections[0].code = "p { margin: 0; }";
    edited.isEnabled = true;
    edited.source = "custom";
    edited.preprocessor = "less";
    edited.allowIframe = true;
    edited.systemTheme = "light";
    edited.userVariables->at(0).currentValue = "#00ff00";

    // The properties panel takes over the frame permission, exclusions, theme and variables.
    ASSERT_EQ(s.updateProperties(edited), true);
    styleContainer expected = stored;
    expected.allowIframe = edited.allowIframe;
    expected.exclURL = edited.exclURL;
    expected.exclDomain = edited.exclDomain;
    expected.exclPrefix = edited.exclPrefix;
    expected.exclRegExp = edited.exclRegExp;
    expected.systemTheme = edited.systemTheme;
    expected.userVariables = edited.userVariables;
    expected.styleData.sections[0].compiledcode = "compiled:" + stored.styleData.sections[0].code;
    styleContainer result = onDisk().styles.at(0);
    expected.dateModified = result.dateModified;
    EXPECT_EQ(result, expected);

    // The editor takes over the code and metadata, under the ID it was given.
    edited.uniqueID = 55;
    ASSERT_EQ(s.saveEditedStyle(10, edited), true);
    expected.styleData = edited.styleData;
    expected.styleData.sections[0].compiledcode = "compiled:p { margin: 0; }";
    expected.version = edited.version;
    expected.namespace_ = edited.namespace_;
    expected.description = edited.description;
    expected.author = edited.author;
    expected.license = edited.license;
    expected.preprocessor = edited.preprocessor;
    result = onDisk().styles.at(0);
    expected.dateModified = result.dateModified;
    EXPECT_EQ(result, expected);
    EXPECT_THAT(favicons, ElementsAre(10));

    EXPECT_EQ(s.updateProperties(edited), false);
    EXPECT_EQ(s.saveEditedStyle(99, edited), false);
    EXPECT_THAT(compiler.compiled, ElementsAre(10, 10));
}

// Compiling can take long; it runs outside the lock, so other changes go on meanwhile, and a
// change of the same style made meanwhile is kept: the edit is compiled again on top of it.
TEST_F(StyleStoreTest, EditsCompileOutsideTheLockAndKeepChangesMadeMeanwhile) {
    StyleStore& s = openWith({richStyle(10, "Before"), sampleStyle(11, "Other")});
    int rounds = 0;
    compiler.whileCompiling = [&] {
        if (++rounds == 1) {
            // Another thread changes the library while the compile runs; it would wait for
            // ever if the compile held the lock.
            std::thread([&] {
                EXPECT_EQ(s.rename(10, "Renamed meanwhile"), true);
                EXPECT_EQ(s.setEnabled(11, false), true);
            }).join();
        }
    };
    styleContainer properties = s.styleByID(10).value();
    properties.systemTheme = "light";
    ASSERT_EQ(s.updateProperties(properties), true);
    EXPECT_EQ(rounds, 2);
    const styleDatabase db = onDisk();
    EXPECT_EQ(db.styles[0].styleData.name, "Renamed meanwhile");
    EXPECT_EQ(db.styles[0].systemTheme, "light");
    EXPECT_FALSE(db.styles[1].isEnabled);
}

TEST_F(StyleStoreTest, ReplacementsOnlyOverTheVersionTheyBeganWithAndKeepTheUsersChoices) {
    const styleContainer stored = richStyle(10, "Old");
    StyleStore& s = openWith({sampleStyle(9, "First"), stored});

    styleJSON data;
    data.name = "Fresh data";
    ASSERT_EQ(s.replaceStyleData(10, data, stored), true);
    EXPECT_EQ(onDisk().styles.at(1).styleData, data);
    // The stored style is no longer the one the check began with.
    EXPECT_EQ(s.replaceStyleData(10, data, stored), false);
    EXPECT_EQ(s.replaceStyleData(99, data, stored), false);

    const styleContainer current = *s.styleByID(10);
    styleContainer next = sampleStyle(10, "New version");
    next.version = "3.0";
    ASSERT_EQ(s.replaceByNewVersion(10, next, current), true);
    styleContainer expected = next;
    expected.isEnabled = stored.isEnabled;
    expected.allowIframe = stored.allowIframe;
    expected.exclURL = stored.exclURL;
    expected.exclDomain = stored.exclDomain;
    expected.exclPrefix = stored.exclPrefix;
    expected.exclRegExp = stored.exclRegExp;
    expected.systemTheme = stored.systemTheme;
    expected.dateModified = onDisk().styles.at(1).dateModified;
    EXPECT_EQ(onDisk().styles.at(1), expected);

    // Carrying variable values over recompiles the result.
    styleContainer update = stored;
    update.userVariables->at(0).currentValue = "#000000";
    const styleContainer carried = s.carryOverVariableValues(stored, update);
    EXPECT_EQ(carried.userVariables->at(0).currentValue, "#ff0000");
    EXPECT_THAT(compiler.compiled, ElementsAre(10));
}

TEST_F(StyleStoreTest, CountsForTheStyleList) {
    StyleStore& s = open();
    EXPECT_TRUE(s.mostlyEnabled());
    for (const char* source : {"custom", "usorg", "usercss"}) {
        styleContainer style = sampleStyle(static_cast<std::int64_t>(s.styleCount()) + 1, source);
        style.source = source;
        style.isEnabled = style.source == "custom";
        ASSERT_TRUE(s.add(style));
    }
    EXPECT_EQ(s.updatableCount(), 2u);
    EXPECT_TRUE(s.mostlyEnabled());  // 1 of 3: at least 3 / 2 = 1
    ASSERT_EQ(s.setAllEnabled(false), 3u);
    EXPECT_FALSE(s.mostlyEnabled());
}

// Switching, renaming and removing styles of a library read from its file leave every other
// style's code as it was, whatever escapes another writer used for it, and every reader sees
// the code decoded.
TEST_F(StyleStoreTest, ChangesThatLeaveCodeAloneKeepItAsWritten) {
    styleDatabase db;
    for (std::int64_t id = 1; id <= 3; ++id) {
        db.styles.push_back(sampleStyle(id, "custom"));
        db.styles.back().styleData.sections[0].code = "a { content: \"\u00e9/\" }";
        db.styles.back().styleData.sections[0].compiledcode = "x\ty";
    }
    std::string text = encodeDatabase(db);
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"\u00e9", "\\u00e9"}, {"/", "\\/"}}) {
        text = text::replaceAll(text, from, to);
    }
    std::filesystem::create_directories(container());
    writeText(databaseFile(), text);

    StyleStore& s = open();
    ASSERT_TRUE(s.setEnabled(2, false));
    ASSERT_TRUE(s.rename(2, "Renamed"));
    ASSERT_TRUE(s.remove(3));
    EXPECT_THAT(fileBytes(), HasSubstr("\\u00e9"));  // written as it was
    EXPECT_EQ(s.styleByID(1)->styleData.sections, db.styles[0].styleData.sections);
    db.styles.pop_back();
    db.styles[1].isEnabled = false;
    db.styles[1].styleData.name = "Renamed";
    for (const styleDatabase& seen : {onDisk(), s.snapshot()}) {
        ASSERT_EQ(seen.styles.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(seen.styles[i].styleData, db.styles[i].styleData);
            EXPECT_EQ(seen.styles[i].isEnabled, db.styles[i].isEnabled);
        }
    }
}

}  // namespace
}  // namespace orlavine
