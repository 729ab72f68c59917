#pragma once
// The style library and its file. The file is the one truth: several programs change it at once
// (the command line, the desktop program, the browser host's launcher, a sync watcher), so every
// change is a short transaction on it. A transaction takes the library's lock (between threads
// and between processes), reads the file again when another process wrote it since this one last
// read it, applies the change to that current library, replaces the file atomically, sends the
// change notice through the wormhole and lets go. No program ever writes a library older than
// the one on disk. Readers never wait for a write: they see the library as it was before or
// after a change, never half of one.
//
// Changes address styles by uniqueID, never by list position. Work that takes long (compiling,
// downloading) happens outside the lock on a copy; its result is stored only when the style
// still equals the copy the work began with.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "model/library_merge.h"
#include "model/notification_center.h"
#include "model/records.h"
#include "model/reporter.h"
#include "model/result.h"
#include "model/settings_store.h"
#include "model/style_compiler.h"
#include "model/wormhole.h"

namespace orlavine {

class LibraryOutline;

// Uploads the database file to the cloud. Installed by the sync module; called after a local
// change was written, outside every lock.
class CloudUploader {
  public:
    virtual ~CloudUploader() = default;
    virtual void uploadDatabase(const std::filesystem::path& databaseFile) = 0;
};

inline constexpr const char* kErrorDecodingLine = "Error decoding style database.";
inline constexpr const char* kErrorWritingLine = "Error writing style database.";
inline constexpr const char* kErrorWritingTitle = "Error writing style database";
inline constexpr const char* kErrorSavingText =
    "An error occurred while trying to save changes to your styles. Your changes may not have "
    "been saved.";
inline constexpr const char* kErrorBackupText =
    "An error occurred while trying to back up your style database. Please make sure you have "
    "permission to write to the desired path.";
inline constexpr const char* kErrorReadingTitle = "Error reading style database";
inline constexpr const char* kErrorReadingText =
    "The style database file you selected may not be valid, or is corrupt.";
inline constexpr const char* kChangedMeanwhileText =
    "The style was changed or removed meanwhile; it was left as it is.";

// What one transaction changed, for the observers of "libraryChanged" (user info "ids", or
// "everything" for a reload, a merge or a change of every style).
struct LibraryChange {
    bool everything = false;
    std::vector<std::int64_t> ids;

    bool empty() const { return !everything && ids.empty(); }
    void touch(std::int64_t id) { ids.push_back(id); }
};

// How a transaction is written: a local change stamps a new revision and is uploaded when sync
// is on (`localUnsent`: the caller, the sync engine itself, sends it); a change received from the
// cloud is written as it is and not sent back.
enum class ChangeOrigin { local, localUnsent, received };

class StyleStore {
  public:
    struct Services {
        std::filesystem::path container;              // the shared folder holding the database file
        Reporter* reporter = nullptr;                 // required
        NotificationCenter* notifications = nullptr;  // required
        const SettingsStore* appSettings = nullptr;   // for "UseiCloud"; none means off
        StyleCompiler* compiler = nullptr;            // none: code is left as it is
        CloudUploader* uploader = nullptr;            // none: nothing is uploaded
    };

    explicit StyleStore(Services services);
    ~StyleStore();
    StyleStore(const StyleStore&) = delete;
    StyleStore& operator=(const StyleStore&) = delete;

    std::filesystem::path databaseFile() const;
    std::filesystem::path preCloudFile() const;

    // ---- reading (the library as this process last read or wrote it) ----
    // The file is read as an outline (see library_outline.h): the styles' code is decoded by the
    // first read() after the file was read, which waits for a write in progress to end; the
    // summaries, styleByID() and the changes of a style's state, name or place do without it.
    styleDatabase snapshot() const;
    template <class F>
    auto read(F&& f) const {
        ensureLoaded();
        ensureCode();
        std::shared_lock lock(dataMutex_);
        return f(static_cast<const styleDatabase&>(db_));
    }
    // Like read(), for work that never looks at the sections' code or compiledcode: those may
    // hold something else. Does not wait for the code of a large library to be decoded.
    template <class F>
    auto readSummary(F&& f) const {
        ensureLoaded();
        std::shared_lock lock(dataMutex_);
        return f(static_cast<const styleDatabase&>(db_));
    }
    std::optional<styleContainer> styleByID(std::int64_t uniqueID) const;
    std::size_t styleCount() const;
    // Styles whose source is not "custom".
    std::size_t updatableCount() const;
    // At least half of the styles (rounded down) are enabled; true for an empty library.
    bool mostlyEnabled() const;
    // Whether the file could not be decoded at load; it is moved aside before the first write.
    bool loadFailed() const;
    // Why the library file cannot be used at all (it exists but cannot be opened, or is no
    // regular file); such a file is never replaced and every change fails.
    std::optional<std::string> openFailure() const;

    // Reads the file again when another process changed it; posts "libraryChanged" with
    // "everything" then. Returns whether it did.
    bool refresh();

    // ---- the transaction ----
    // Runs `f(db, change)` on the current library under the library's lock. `f` records in
    // `change` what it changed; when it changed nothing, nothing is written. Returns what `f`
    // returned, or why the file could not be read or written (then the library is left as it
    // is on disk and in memory). `f` must not call back into the store and must be quick.
    template <class F>
    auto change(F&& f, ChangeOrigin origin = ChangeOrigin::local)
        -> Result<decltype(f(std::declval<styleDatabase&>(), std::declval<LibraryChange&>()))> {
        using R = decltype(f(std::declval<styleDatabase&>(), std::declval<LibraryChange&>()));
        std::optional<R> out;
        Status done = transact(
            [&](styleDatabase& db, LibraryChange& changed) { out.emplace(f(db, changed)); },
            origin);
        if (!done) {
            return Error{done.error()};
        }
        return std::move(*out);
    }

    // ---- writing copies ----
    // Writes a copy of the library to `file`.
    Status backUp(const std::filesystem::path& file);
    // Writes the pre-sync copy unless one exists already.
    void keepPreCloudCopy();

    // ---- the operations of the style list and the windows ----
    // Each is one transaction; a style that is not there gives `false` (or nothing) and
    // changes nothing.
    Result<std::size_t> setAllEnabled(bool enabled);
    Result<bool> setEnabled(std::int64_t uniqueID, bool enabled);
    // The copy's uniqueID.
    Result<std::optional<std::int64_t>> duplicate(std::int64_t uniqueID);
    Result<bool> remove(std::int64_t uniqueID);
    Result<bool> rename(std::int64_t uniqueID, const std::string& name);
    // Adds `style` at the end, drawing a new uniqueID when another style has its own. Returns
    // the uniqueID it was stored under.
    Result<std::int64_t> add(styleContainer style);
    // Take over the panel's fields (exclusions, frames, theme, variables), or the editor's
    // (code, rules, metadata), compile off the lock and store the result. The edit applies to
    // the style as stored when the compile ends: a change made meanwhile by another program is
    // kept unless it touched the same style, in which case the edit is compiled again on it.
    Result<bool> updateProperties(const styleContainer& edited);
    // `apply` run on the style as stored (again if another program changed it meanwhile), then
    // compiled off the lock and stored; for changes given as steps rather than a working copy.
    Result<bool> editProperties(std::int64_t uniqueID,
                                const std::function<void(styleContainer&)>& apply);
    Result<bool> saveEditedStyle(std::int64_t uniqueID, const styleContainer& edited);
    // An edit of the style's whole document: code, rules, metadata and the variable
    // declarations, whose values are carried over from the stored style. The style keeps its
    // uniqueID, enabled state, exclusions, frame permission and theme.
    Result<bool> saveEditedDocument(std::int64_t uniqueID, const styleContainer& edited);
    // Replacements by a newer version, made only when the stored style still equals
    // `expected` (a check that began with one version must not overwrite changes made while
    // it ran); `false` otherwise. replaceByNewVersion keeps the stored style's enabled state,
    // frame permission, exclusions and theme.
    Result<bool> replaceStyleData(std::int64_t uniqueID, styleJSON data,
                                  const styleContainer& expected);
    Result<bool> replaceByNewVersion(std::int64_t uniqueID, styleContainer newVersion,
                                     const styleContainer& expected);
    // `newVersion` with the variable values of `old`, compiled (no lock is taken).
    styleContainer carryOverVariableValues(const styleContainer& old, styleContainer newVersion);
    // Adds the styles of another library file that are not here yet. Nothing when the file does
    // not exist; an alert when it cannot be read.
    Result<MergeOutcome> mergeFromFile(const std::filesystem::path& file);

    // What tells one version of the library file from another (defined with the store).
    struct Revision;

  private:
    void ensureLoaded() const;
    // Decodes the styles' code when the library was read as an outline.
    void ensureCode() const;
    // The same under writeMutex_.
    void decodeCodeLocked();
    // `codeUntouched`: `f` neither reads nor changes the sections' code (see readSummary), so
    // the code need not be decoded for it.
    Status transact(const std::function<void(styleDatabase&, LibraryChange&)>& f,
                    ChangeOrigin origin, bool codeUntouched = false);
    template <class F>
    auto changeSummary(F&& f) {
        using R = decltype(f(std::declval<styleDatabase&>(), std::declval<LibraryChange&>()));
        std::optional<R> out;
        Status done = transact(
            [&](styleDatabase& db, LibraryChange& changed) { out.emplace(f(db, changed)); },
            ChangeOrigin::local, true);
        if (!done) {
            return Result<R>(Error{done.error()});
        }
        return Result<R>(std::move(*out));
    }
    // Under writeMutex_ and the file lock: reads the file when its revision differs from the one
    // last seen. Returns whether the library was read again.
    Result<bool> reloadIfChanged();
    Status moveUnreadableFileAside();
    void announce(const LibraryChange& change);
    void reportWriteFailure(const std::string& detail, const char* text);
    void compile(styleContainer& style);
    template <class Apply>
    Result<bool> compileAndStore(std::int64_t uniqueID, Apply apply);
    template <class Apply>
    Result<bool> saveEdit(std::int64_t uniqueID, Apply apply);

    Services services_;
    Wormhole wormhole_;
    // Serialises the writers of this process; the file lock serialises processes. Taken before
    // dataMutex_.
    mutable std::mutex writeMutex_;
    // Guards db_ and the flags below: taken shared by readers and while a writer encodes,
    // exclusively only while a change is applied or a file read is swapped in.
    mutable std::shared_mutex dataMutex_;
    styleDatabase db_;
    // While db_'s code is not decoded: the outline its code places refer to.
    std::shared_ptr<const LibraryOutline> outline_;
    mutable std::atomic<bool> hasOutline_{false};
    mutable std::atomic<bool> loaded_{false};
    bool unreadable_ = false;
    std::optional<std::string> openFailure_;
    // The file's revision when this process last read or wrote it (under writeMutex_).
    std::unique_ptr<Revision> revision_;
};

}  // namespace orlavine
