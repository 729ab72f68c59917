#pragma once
// The in-memory style library and its file. Loaded on first use, changed in place through the
// operations below, and saved whole: each save stamps a new revision, encodes the library on a
// background thread, sends the bytes to the browser host through the wormhole and replaces the
// file atomically. Every operation is safe to call from any thread.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "model/library_merge.h"
#include "model/notification_center.h"
#include "model/records.h"
#include "model/reporter.h"
#include "model/result.h"
#include "model/serial_queue.h"
#include "model/settings_store.h"
#include "model/wormhole.h"

namespace orlavine {

// Refreshes a style's compiled code. Installed by the preprocessing module.
class StyleCompiler {
  public:
    virtual ~StyleCompiler() = default;
    virtual void compileStyle(styleContainer& style) = 0;
};

// Uploads the database file to the cloud. Installed by the sync module.
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
    // Finishes every queued save and backup first.
    ~StyleStore();
    StyleStore(const StyleStore&) = delete;
    StyleStore& operator=(const StyleStore&) = delete;

    std::filesystem::path databaseFile() const;
    std::filesystem::path preCloudFile() const;

    // ---- reading ----
    styleDatabase snapshot() const;
    // Runs `f` on the library under the store's lock; `f` must not call back into the store.
    template <class F>
    auto read(F&& f) const {
        std::lock_guard lock(mutex_);
        ensureLoaded();
        return f(static_cast<const styleDatabase&>(db_));
    }
    std::optional<styleContainer> styleByID(std::int64_t uniqueID) const;
    std::optional<std::size_t> positionByID(std::int64_t uniqueID) const;
    std::size_t styleCount() const;
    // Styles whose source is not "custom".
    std::size_t updatableCount() const;
    // At least half of the styles (rounded down) are enabled; true for an empty library.
    bool mostlyEnabled() const;

    // ---- saving ----
    void save();
    // Writes the library as it is (no new stamps) and uploads nothing.
    void saveReceivedChanges();
    // Writes a copy of the library to `file` on the background thread; `done` (optional) runs
    // there with the outcome.
    void backUp(const std::filesystem::path& file, std::function<void(Status)> done = {});
    // Writes the pre-sync copy unless one exists already.
    void keepPreCloudCopy();
    // Blocks until every queued save and backup has finished.
    void waitForPendingWrites();

    // ---- changing ----
    void setAllEnabled(bool enabled);
    bool duplicate(std::size_t position);
    bool remove(std::size_t position);
    bool rename(std::size_t position, const std::string& name);
    bool setEnabled(std::size_t position, bool enabled);
    bool updateProperties(const styleContainer& edited);
    bool saveEditedStyle(std::int64_t uniqueID, const styleContainer& edited);
    // Both replacements leave the library alone and return false when no style has `uniqueID`,
    // or when `expected` is given and the stored style no longer equals it (a check that began
    // with one version must not overwrite changes made while it ran). The caller saves.
    bool replaceStyleData(std::int64_t uniqueID, styleJSON data,
                          const styleContainer* expected = nullptr);
    // Keeps the stored style's enabled state, frame permission, exclusions and theme.
    bool replaceByNewVersion(std::int64_t uniqueID, styleContainer newVersion,
                             const styleContainer* expected = nullptr);
    styleContainer carryOverVariableValues(const styleContainer& old, styleContainer newVersion);
    // Adds the styles of another library file that are not here yet, then saves. Nothing when
    // the file does not exist; an alert when it cannot be read.
    Result<MergeOutcome> mergeFromFile(const std::filesystem::path& file);
    // Appends a style (the caller saves).
    void append(styleContainer style);
    // Replaces the whole library, as the cloud merges and the reset do (the caller saves).
    void replaceAll(styleDatabase db);
    // Changes the library in place under the store's lock (the caller saves).
    template <class F>
    auto modify(F&& f) {
        std::lock_guard lock(mutex_);
        ensureLoaded();
        return f(db_);
    }

    // Forgets the library in memory and reads the file again (after waiting for queued writes).
    void reloadFromFile();

    // Set when the file could not be read at load; it is moved aside before the first save.
    bool loadFailed() const;

  private:
    void ensureLoaded() const;
    void load() const;
    void compile(styleContainer& style);
    void queueWrite(bool upload);
    void writeDatabase(bool upload);
    Status moveUnreadableFileAside();
    Status writeCopy(const std::filesystem::path& file);
    void reportWriteFailure(const std::string& detail, const char* text);

    Services services_;
    Wormhole wormhole_;
    mutable std::mutex mutex_;
    mutable styleDatabase db_;
    mutable bool loaded_ = false;
    mutable bool unreadable_ = false;
    // A write waiting in the queue takes the changes of every save requested before it starts,
    // so a burst of saves costs one or two writes instead of one each.
    std::mutex pendingMutex_;
    bool writePending_ = false;
    bool pendingUpload_ = false;
    std::unique_ptr<SerialQueue> queue_;
};

}  // namespace orlavine
