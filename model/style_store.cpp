#include "model/style_store.h"

#include <fmt/chrono.h>
#include <fmt/format.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include "model/atomic_file.h"
#include "model/library_index.h"
#include "model/library_outline.h"
#include "model/paths.h"
#include "model/record_json.h"
#include "model/settings_keys.h"
#include "model/style_factory.h"
#include "model/variable_carry.h"

namespace orlavine {

// What tells one version of the library file from another: the counter that writers bump under
// the library's lock, and the file's identity and times for writers that do not take it (a file
// copied in by hand, a sync tool).
struct StyleStore::Revision {
    std::uint64_t counter = 0;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;

    bool operator==(const Revision&) const = default;
};

namespace {

constexpr int kMaxCompileRounds = 5;

styleContainer* findStyle(styleDatabase& db, std::int64_t uniqueID) {
    auto it = std::find_if(db.styles.begin(), db.styles.end(),
                           [&](const styleContainer& s) { return s.uniqueID == uniqueID; });
    return it == db.styles.end() ? nullptr : &*it;
}

const styleContainer* findStyle(const styleDatabase& db, std::int64_t uniqueID) {
    return findStyle(const_cast<styleDatabase&>(db), uniqueID);
}

std::int64_t nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::filesystem::path lockFileFor(const std::filesystem::path& database) {
    return database.parent_path() / ("." + database.filename().string() + ".lock");
}

}  // namespace

StyleStore::StyleStore(Services services)
    : services_(std::move(services)),
      wormhole_(services_.container),
      revision_(std::make_unique<Revision>()) {}

StyleStore::~StyleStore() = default;

std::filesystem::path StyleStore::databaseFile() const {
    return services_.container / kDatabaseFileName;
}

std::filesystem::path StyleStore::preCloudFile() const {
    return services_.container / kPreCloudFileName;
}

// ---- loading ----

void StyleStore::ensureLoaded() const {
    if (loaded_) {
        return;
    }
    auto* self = const_cast<StyleStore*>(this);
    std::lock_guard writer(writeMutex_);
    if (loaded_) {
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(services_.container, ec);
    ExclusiveFileLock lock(lockFileFor(databaseFile()), 0600);
    // A save cut short by a crash leaves its temporary file behind; the library never needs it.
    removeStaleTemporaries(databaseFile(), std::chrono::minutes(10));
    self->revision_->counter = lock.counter();
    const Result<bool> read = self->reloadIfChanged();
    if (read && !self->revision_->exists) {
        // A first start leaves an empty library, so the browser host has a file to read.
        std::string bytes = encodeDatabase(newDatabase());
        if (Status written = writeFileAtomically(databaseFile(), bytes); !written) {
            self->reportWriteFailure(written.error(), kErrorSavingText);
        } else {
            lock.bumpCounter();
            self->revision_->counter = lock.counter();
            (void)self->reloadIfChanged();  // takes the new file's revision
        }
    }
    loaded_ = true;
}

namespace {

// The text of the library file, and its index when the index was made from the file read.
Result<std::string> readLibraryText(const std::filesystem::path& file,
                                    std::optional<LibraryIndex>& index) {
    Result<FileHandle> opened = openRegularFile(file);
    if (!opened) {
        return Error{opened.error()};
    }
    struct stat info {};
    if (::fstat(opened->get(), &info) == 0) {
        index = readLibraryIndex(file, LibraryFileIdentity::of(info));
    }
    return readOpenFile(*opened, file, kMaxDatabaseBytes);
}

// The revision of `file` as it is now; errno tells why when the file cannot be looked at.
std::optional<StyleStore::Revision> revisionOf(const std::filesystem::path& file,
                                               std::uint64_t counter, struct stat& info) {
    StyleStore::Revision seen;
    seen.counter = counter;
    if (::stat(file.c_str(), &info) == 0) {
        seen.exists = true;
        seen.device = info.st_dev;
        seen.inode = info.st_ino;
        seen.size = info.st_size;
        seen.modified = nanoseconds(info.st_mtim);
        seen.changed = nanoseconds(info.st_ctim);
    } else if (errno != ENOENT) {
        return std::nullopt;
    }
    return seen;
}

}  // namespace

Result<bool> StyleStore::reloadIfChanged() {
    const std::filesystem::path file = databaseFile();
    struct stat info {};
    const std::optional<Revision> current = revisionOf(file, revision_->counter, info);
    if (!current) {
        const std::string why = file.string() + ": " + std::strerror(errno);
        std::unique_lock data(dataMutex_);
        openFailure_ = why;
        return Error{why};
    }
    const Revision& seen = *current;
    if (loaded_ && seen == *revision_) {
        return false;
    }
    styleDatabase fresh = newDatabase();
    std::shared_ptr<const LibraryOutline> outline;
    bool unreadable = false;
    std::optional<std::string> openFailure;
    if (seen.exists) {
        if (!S_ISREG(info.st_mode)) {
            openFailure = file.string() + " is not a regular file";
        } else if (::access(file.c_str(), R_OK) != 0) {
            openFailure = "cannot open " + file.string() + ": " + std::strerror(errno);
        } else {
            std::optional<LibraryIndex> index;
            auto text = readLibraryText(file, index);
            std::shared_ptr<const std::string> shared;
            if (text) {
                shared = std::make_shared<const std::string>(std::move(*text));
            }
            // The code of a large library is decoded only when something reads it. The index
            // the browser host keeps spares decoding the records and checking the code.
            std::optional<std::pair<LibraryOutline, styleDatabase>> outlined;
            // The records are trusted only as the decoding of this very text: they will be
            // written back.
            if (index && shared && skeletonChecksum(*shared, index->spans) == index->skeleton) {
                if (auto fromIndex = LibraryOutline::fromIndex(shared, index->spans)) {
                    outlined.emplace(std::move(*fromIndex), std::move(index->records));
                }
            }
            if (!outlined && shared) {
                outlined = LibraryOutline::read(shared);
            }
            if (outlined) {
                outline = std::make_shared<const LibraryOutline>(std::move(outlined->first));
            }
            auto decoded = outlined ? Result<styleDatabase>(std::move(outlined->second))
                           : shared ? decodeDatabase(*shared)
                                    : Result<styleDatabase>(Error{text.error()});
            if (decoded) {
                fresh = std::move(decoded).value();
            } else {
                services_.reporter->consoleLine(kErrorDecodingLine);
                services_.reporter->consoleLine(
                    fmt::format("{}: {}", file.string(), decoded.error()));
                unreadable = true;
            }
        }
    }
    {
        std::unique_lock data(dataMutex_);
        db_ = std::move(fresh);
        outline_ = std::move(outline);
        hasOutline_ = outline_ != nullptr;
        unreadable_ = unreadable;
        openFailure_ = openFailure;
    }
    *revision_ = seen;
    if (openFailure) {
        services_.reporter->consoleLine(*openFailure);
        return Error{*openFailure};
    }
    return true;
}

bool StyleStore::refresh() {
    bool reloaded = false;
    {
        std::lock_guard writer(writeMutex_);
        if (!loaded_) {
            return false;
        }
        {
            // The lock only for the counter: the file is replaced atomically, so it can be read
            // whole while other programs go on writing. A write that lands between the two reads
            // is read once more at the next refresh.
            ExclusiveFileLock lock(lockFileFor(databaseFile()), 0600);
            revision_->counter = lock.counter();
        }
        Result<bool> changed = reloadIfChanged();
        reloaded = changed && *changed;
    }
    if (reloaded) {
        announce(LibraryChange{true, {}});
    }
    return reloaded;
}

bool StyleStore::loadFailed() const {
    ensureLoaded();
    std::shared_lock data(dataMutex_);
    return unreadable_;
}

std::optional<std::string> StyleStore::openFailure() const {
    ensureLoaded();
    std::shared_lock data(dataMutex_);
    return openFailure_;
}

// ---- reading ----

void StyleStore::ensureCode() const {
    if (!hasOutline_) {
        return;
    }
    std::lock_guard writer(writeMutex_);
    const_cast<StyleStore*>(this)->decodeCodeLocked();
}

// Decodes a copy, so readers go on meanwhile; no writer can change db_ while writeMutex_ is held.
void StyleStore::decodeCodeLocked() {
    if (!hasOutline_) {
        return;
    }
    styleDatabase decoded;
    std::shared_ptr<const LibraryOutline> outline;
    {
        std::shared_lock data(dataMutex_);
        decoded = db_;
        outline = outline_;
    }
    outline->decodeCode(decoded);
    std::unique_lock data(dataMutex_);
    db_ = std::move(decoded);
    outline_.reset();
    hasOutline_ = false;
}

styleDatabase StyleStore::snapshot() const {
    return read([](const styleDatabase& db) { return db; });
}

// Decodes only the code of the style asked for while the rest of the library is not decoded.
std::optional<styleContainer> StyleStore::styleByID(std::int64_t uniqueID) const {
    ensureLoaded();
    std::optional<styleContainer> found;
    std::shared_ptr<const LibraryOutline> outline;
    {
        std::shared_lock data(dataMutex_);
        if (const styleContainer* s = findStyle(db_, uniqueID)) {
            found = *s;
            outline = outline_;
        }
    }
    if (found && outline) {
        outline->decodeCode(*found);
    }
    return found;
}

std::size_t StyleStore::styleCount() const {
    return readSummary([](const styleDatabase& db) { return db.styles.size(); });
}

std::size_t StyleStore::updatableCount() const {
    return readSummary([](const styleDatabase& db) {
        return static_cast<std::size_t>(
            std::count_if(db.styles.begin(), db.styles.end(),
                          [](const styleContainer& s) { return s.source != "custom"; }));
    });
}

bool StyleStore::mostlyEnabled() const {
    return readSummary([](const styleDatabase& db) {
        const auto enabled = std::count_if(db.styles.begin(), db.styles.end(),
                                           [](const styleContainer& s) { return s.isEnabled; });
        return static_cast<std::size_t>(enabled) >= db.styles.size() / 2;
    });
}

// ---- the transaction ----

Status StyleStore::transact(const std::function<void(styleDatabase&, LibraryChange&)>& f,
                            ChangeOrigin origin, bool codeUntouched) {
    ensureLoaded();
    LibraryChange changed;
    {
        std::lock_guard writer(writeMutex_);
        ExclusiveFileLock lock(lockFileFor(databaseFile()), 0600);
        if (!lock.ok()) {
            return Error{"cannot lock the style database in " + services_.container.string()};
        }
        revision_->counter = lock.counter();
        if (Result<bool> current = reloadIfChanged(); !current) {
            return Error{current.error()};
        }
        if (openFailure_) {
            return Error{*openFailure_};
        }
        if (!codeUntouched) {
            decodeCodeLocked();
        }
        {
            std::unique_lock data(dataMutex_);
            f(db_, changed);
            if (changed.empty()) {
                return Done{};
            }
            if (origin != ChangeOrigin::received) {
                db_.randomHash = randomUInt32();
                db_.dateModified = Date::now();
            }
        }
        std::string bytes;
        bool unreadable = false;
        {
            // Readers go on while the library is encoded; other writers wait for the lock.
            std::shared_lock data(dataMutex_);
            bytes = outline_ ? outline_->encode(db_) : encodeDatabase(db_);
            unreadable = unreadable_;
        }
        Status written = unreadable ? moveUnreadableFileAside() : Status(Done{});
        if (written) {
            written = writeFileAtomically(databaseFile(), bytes);
        }
        if (!written) {
            // Memory goes back to what the file holds, so the failed change is not shown as
            // made.
            loaded_ = false;
            (void)reloadIfChanged();
            loaded_ = true;
            reportWriteFailure(written.error(), kErrorSavingText);
            return Error{written.error()};
        }
        lock.bumpCounter();
        struct stat info {};
        std::optional<Revision> now = revisionOf(databaseFile(), lock.counter(), info);
        if (now) {
            *revision_ = *now;
        }
        // The notice carries the same bytes as the file just written: it shares them.
        const Status sent = now && now->exists
                                ? wormhole_.passMessage(kStyleDBUpdated, bytes, databaseFile(),
                                                        static_cast<ino_t>(now->inode))
                                : wormhole_.passMessage(kStyleDBUpdated, bytes);
        if (!sent) {
            services_.reporter->consoleLine("Unable to notify the browser of the change: " +
                                            sent.error());
        }
    }
    announce(changed);
    CloudUploader* uploader = services_.uploader;
    if (origin == ChangeOrigin::local && uploader != nullptr && services_.appSettings != nullptr &&
        services_.appSettings->boolValue(keys::kUseCloud)) {
        uploader->uploadDatabase(databaseFile());
    }
    return Done{};
}

void StyleStore::announce(const LibraryChange& change) {
    if (change.everything) {
        services_.notifications->post(notifications::kLibraryChanged, {{"everything", 1}});
    } else {
        services_.notifications->post(notifications::kLibraryChanged, {{"ids", change.ids}});
    }
}

// A library file that could not be read is never overwritten: it is renamed, so the user can
// still recover it, before the first save puts a new file in its place.
Status StyleStore::moveUnreadableFileAside() {
    const std::filesystem::path file = databaseFile();
    const std::time_t now = std::time(nullptr);
    std::filesystem::path aside =
        file.string() + fmt::format(".unreadable-{:%Y%m%d-%H%M%S}", fmt::localtime(now));
    for (int n = 2; std::filesystem::exists(aside); ++n) {
        aside =
            file.string() + fmt::format(".unreadable-{:%Y%m%d-%H%M%S}-{}", fmt::localtime(now), n);
    }
    std::error_code ec;
    std::filesystem::rename(file, aside, ec);
    if (ec && std::filesystem::exists(file)) {
        return Error{"cannot move the unreadable " + file.string() + " aside: " + ec.message()};
    }
    if (!ec) {
        services_.reporter->consoleLine("The unreadable style database was kept as " +
                                        aside.string() + ".");
    }
    std::unique_lock data(dataMutex_);
    unreadable_ = false;
    return Done{};
}

// Console lines, and an alert with `text` unless it is null (copies the user did not ask for).
void StyleStore::reportWriteFailure(const std::string& detail, const char* text) {
    services_.reporter->consoleLine(kErrorWritingLine);
    services_.reporter->consoleLine(detail);
    if (text != nullptr) {
        services_.reporter->showAlert(kErrorWritingTitle, text);
    }
}

// ---- copies ----

// Copies are encoded from a snapshot, so no writer waits while a large library is encoded.
Status StyleStore::backUp(const std::filesystem::path& file) {
    const std::string bytes = encodeDatabase(snapshot());
    Status written = writeFileAtomically(file, bytes);
    if (!written) {
        reportWriteFailure(written.error(), kErrorBackupText);
    }
    return written;
}

void StyleStore::keepPreCloudCopy() {
    std::error_code ec;
    if (std::filesystem::exists(preCloudFile(), ec)) {
        return;
    }
    const std::string bytes = encodeDatabase(snapshot());
    if (Status written = writeFileAtomically(preCloudFile(), bytes); !written) {
        reportWriteFailure(written.error(), nullptr);
    }
}

// ---- operations ----

void StyleStore::compile(styleContainer& style) {
    if (services_.compiler != nullptr) {
        services_.compiler->compileStyle(style);
    }
}

Result<std::size_t> StyleStore::setAllEnabled(bool enabled) {
    return changeSummary([&](styleDatabase& db, LibraryChange& changed) {
        const Date now = Date::now();
        for (styleContainer& s : db.styles) {
            if (s.isEnabled != enabled) {
                s.isEnabled = enabled;
                s.dateModified = now;
                changed.everything = true;
            }
        }
        return db.styles.size();
    });
}

// Switching a style on or off and renaming it are changes of the style: they stamp its date, so
// that the later change wins when two machines' libraries are merged.
Result<bool> StyleStore::setEnabled(std::int64_t uniqueID, bool enabled) {
    return changeSummary([&](styleDatabase& db, LibraryChange& changed) {
        styleContainer* s = findStyle(db, uniqueID);
        if (s == nullptr) {
            return false;
        }
        if (s->isEnabled != enabled) {
            s->isEnabled = enabled;
            s->dateModified = Date::now();
            changed.touch(uniqueID);
        }
        return true;
    });
}

Result<std::optional<std::int64_t>> StyleStore::duplicate(std::int64_t uniqueID) {
    return change([&](styleDatabase& db, LibraryChange& changed) -> std::optional<std::int64_t> {
        const styleContainer* original = findStyle(db, uniqueID);
        if (original == nullptr) {
            return std::nullopt;
        }
        styleContainer copy = *original;
        copy.styleData.name = "Copy of " + copy.styleData.name;
        copy.source = "custom";
        copy.userstyleID = -1;
        copy.uniqueID = newUniqueID(db);
        copy.dateModified = Date::now();
        db.styles.push_back(std::move(copy));
        changed.touch(db.styles.back().uniqueID);
        return db.styles.back().uniqueID;
    });
}

Result<bool> StyleStore::remove(std::int64_t uniqueID) {
    // Observers may read the store, so the notice goes out without the lock held.
    const bool known =
        readSummary([&](const styleDatabase& db) { return findStyle(db, uniqueID) != nullptr; });
    if (!known) {
        refresh();
    }
    services_.notifications->post(notifications::kCloseProperties, {{"id", uniqueID}});
    return changeSummary([&](styleDatabase& db, LibraryChange& changed) {
        const auto before = db.styles.size();
        std::erase_if(db.styles, [&](const styleContainer& s) { return s.uniqueID == uniqueID; });
        if (db.styles.size() == before) {
            return false;
        }
        changed.touch(uniqueID);
        return true;
    });
}

Result<bool> StyleStore::rename(std::int64_t uniqueID, const std::string& name) {
    Result<bool> renamed = changeSummary([&](styleDatabase& db, LibraryChange& changed) {
        styleContainer* s = findStyle(db, uniqueID);
        if (s == nullptr) {
            return false;
        }
        s->styleData.name = name;
        s->dateModified = Date::now();
        changed.touch(uniqueID);
        return true;
    });
    if (renamed && *renamed) {
        services_.notifications->post(notifications::kStyleNameChanged,
                                      {{"id", uniqueID}, {"newname", name}});
    }
    return renamed;
}

Result<std::int64_t> StyleStore::add(styleContainer style) {
    return change([&](styleDatabase& db, LibraryChange& changed) {
        if (findStyle(db, style.uniqueID) != nullptr || style.uniqueID == 0) {
            style.uniqueID = newUniqueID(db);
        }
        db.styles.push_back(std::move(style));
        changed.touch(db.styles.back().uniqueID);
        return db.styles.back().uniqueID;
    });
}

// Compiles the stored style with the edit applied, outside the lock, then stores the result if
// the stored style did not change meanwhile; if it did, the edit is applied and compiled again
// on the newer style, so neither the edit nor the other change is lost.
template <class Apply>
Result<bool> StyleStore::compileAndStore(std::int64_t uniqueID, Apply apply) {
    for (int round = 0; round < kMaxCompileRounds; ++round) {
        std::optional<styleContainer> base = styleByID(uniqueID);
        if (!base) {
            refresh();
            base = styleByID(uniqueID);
            if (!base) {
                return false;
            }
        }
        styleContainer edited = *base;
        apply(edited);
        compile(edited);
        edited.dateModified = Date::now();
        enum class Outcome { stored, gone, changedMeanwhile };
        Result<Outcome> stored = change([&](styleDatabase& db, LibraryChange& changed) {
            styleContainer* s = findStyle(db, uniqueID);
            if (s == nullptr) {
                return Outcome::gone;
            }
            if (!(*s == *base)) {
                return Outcome::changedMeanwhile;
            }
            *s = edited;
            changed.touch(uniqueID);
            return Outcome::stored;
        });
        if (!stored) {
            return Error{stored.error()};
        }
        if (*stored != Outcome::changedMeanwhile) {
            return *stored == Outcome::stored;
        }
    }
    return Error{kChangedMeanwhileText};
}

Result<bool> StyleStore::updateProperties(const styleContainer& edited) {
    return compileAndStore(edited.uniqueID, [&](styleContainer& style) {
        style.allowIframe = edited.allowIframe;
        style.exclURL = edited.exclURL;
        style.exclDomain = edited.exclDomain;
        style.exclPrefix = edited.exclPrefix;
        style.exclRegExp = edited.exclRegExp;
        style.systemTheme = edited.systemTheme;
        style.userVariables = edited.userVariables;
    });
}

Result<bool> StyleStore::editProperties(std::int64_t uniqueID,
                                        const std::function<void(styleContainer&)>& apply) {
    return compileAndStore(uniqueID, apply);
}

namespace {

// The editor's metadata fields, which both kinds of edit take over.
void takeMetadata(styleContainer& style, const styleContainer& edited) {
    style.version = edited.version;
    style.namespace_ = edited.namespace_;
    style.description = edited.description;
    style.author = edited.author;
    style.license = edited.license;
    style.preprocessor = edited.preprocessor;
}

}  // namespace

Result<bool> StyleStore::saveEditedStyle(std::int64_t uniqueID, const styleContainer& edited) {
    return saveEdit(uniqueID, [&](styleContainer& style) {
        style.styleData = edited.styleData;
        takeMetadata(style, edited);
    });
}

Result<bool> StyleStore::saveEditedDocument(std::int64_t uniqueID, const styleContainer& edited) {
    return saveEdit(uniqueID, [&](styleContainer& style) {
        styleContainer document = orlavine::carryOverVariableValues(style, edited);
        style.styleData = std::move(document.styleData);
        style.userVariables = std::move(document.userVariables);
        takeMetadata(style, edited);
        style.updateURL = edited.updateURL;
    });
}

// An edit from the editor: compiled and stored, then the list fetches the site icons again.
template <class Apply>
Result<bool> StyleStore::saveEdit(std::int64_t uniqueID, Apply apply) {
    Result<bool> stored = compileAndStore(uniqueID, std::move(apply));
    if (stored && *stored) {
        services_.notifications->post(notifications::kUpdateFavicons, {{"id", uniqueID}});
    }
    return stored;
}

Result<bool> StyleStore::replaceStyleData(std::int64_t uniqueID, styleJSON data,
                                          const styleContainer& expected) {
    return change([&](styleDatabase& db, LibraryChange& changed) {
        styleContainer* target = findStyle(db, uniqueID);
        if (target == nullptr || !(*target == expected)) {
            return false;
        }
        target->styleData = std::move(data);
        target->dateModified = Date::now();
        changed.touch(uniqueID);
        return true;
    });
}

Result<bool> StyleStore::replaceByNewVersion(std::int64_t uniqueID, styleContainer newVersion,
                                             const styleContainer& expected) {
    return change([&](styleDatabase& db, LibraryChange& changed) {
        styleContainer* target = findStyle(db, uniqueID);
        if (target == nullptr || !(*target == expected)) {
            return false;
        }
        newVersion.isEnabled = target->isEnabled;
        newVersion.allowIframe = target->allowIframe;
        newVersion.exclURL = target->exclURL;
        newVersion.exclDomain = target->exclDomain;
        newVersion.exclPrefix = target->exclPrefix;
        newVersion.exclRegExp = target->exclRegExp;
        newVersion.systemTheme = target->systemTheme;
        newVersion.dateModified = Date::now();
        *target = std::move(newVersion);
        changed.touch(uniqueID);
        return true;
    });
}

styleContainer StyleStore::carryOverVariableValues(const styleContainer& old,
                                                   styleContainer newVersion) {
    styleContainer carried = orlavine::carryOverVariableValues(old, std::move(newVersion));
    compile(carried);
    return carried;
}

Result<MergeOutcome> StyleStore::mergeFromFile(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        return MergeOutcome{};
    }
    auto text = readWholeFile(file, kMaxDatabaseBytes);
    auto incoming = text ? decodeDatabase(*text) : Result<styleDatabase>(Error{text.error()});
    if (!incoming) {
        services_.reporter->showAlert(kErrorReadingTitle, kErrorReadingText);
        return Error{incoming.error()};
    }
    return change([&](styleDatabase& db, LibraryChange& changed) {
        const MergeOutcome outcome = mergeStyles(db, *incoming);
        changed.everything = outcome.added > 0;
        return outcome;
    });
}

}  // namespace orlavine
