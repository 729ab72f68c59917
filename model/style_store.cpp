#include "model/style_store.h"

#include <fmt/chrono.h>
#include <fmt/format.h>

#include <algorithm>
#include <ctime>
#include <utility>

#include "model/atomic_file.h"
#include "model/paths.h"
#include "model/record_json.h"
#include "model/settings_keys.h"
#include "model/style_factory.h"
#include "model/variable_carry.h"

namespace orlavine {
namespace {

std::optional<std::size_t> findPosition(const styleDatabase& db, std::int64_t uniqueID) {
    for (std::size_t i = 0; i < db.styles.size(); ++i) {
        if (db.styles[i].uniqueID == uniqueID) {
            return i;
        }
    }
    return std::nullopt;
}

styleContainer* findStyle(styleDatabase& db, std::int64_t uniqueID) {
    auto position = findPosition(db, uniqueID);
    return position ? &db.styles[*position] : nullptr;
}

// The style to replace, unless it is gone or no longer equals `expected` (when given).
styleContainer* replaceableStyle(styleDatabase& db, std::int64_t uniqueID,
                                 const styleContainer* expected) {
    styleContainer* target = findStyle(db, uniqueID);
    if (target == nullptr || (expected != nullptr && !(*target == *expected))) {
        return nullptr;
    }
    return target;
}

}  // namespace

StyleStore::StyleStore(Services services)
    : services_(std::move(services)),
      wormhole_(services_.container),
      queue_(std::make_unique<SerialQueue>()) {}

StyleStore::~StyleStore() {
    queue_.reset();
}

std::filesystem::path StyleStore::databaseFile() const {
    return services_.container / kDatabaseFileName;
}

std::filesystem::path StyleStore::preCloudFile() const {
    return services_.container / kPreCloudFileName;
}

void StyleStore::ensureLoaded() const {
    if (!loaded_) {
        load();
        loaded_ = true;
    }
}

void StyleStore::load() const {
    const std::filesystem::path file = databaseFile();
    // A save cut short by a crash leaves its temporary file behind; the library never needs it.
    removeStaleTemporaries(file, std::chrono::minutes(10));
    std::error_code ec;
    if (std::filesystem::exists(file, ec) || std::filesystem::is_symlink(file, ec)) {
        auto text = readWholeFile(file, kMaxDatabaseBytes);
        auto decoded = text ? decodeDatabase(*text) : Result<styleDatabase>(Error{text.error()});
        if (decoded) {
            db_ = std::move(decoded).value();
            return;
        }
        services_.reporter->consoleLine(kErrorDecodingLine);
        services_.reporter->consoleLine(fmt::format("{}: {}", file.string(), decoded.error()));
        unreadable_ = true;
        db_ = newDatabase();
        return;
    }
    db_ = newDatabase();
    if (Status written = writeFileAtomically(file, encodeDatabase(db_)); !written) {
        services_.reporter->consoleLine(kErrorWritingLine);
        services_.reporter->consoleLine(written.error());
        services_.reporter->showAlert(kErrorWritingTitle, kErrorSavingText);
    }
}

bool StyleStore::loadFailed() const {
    std::lock_guard lock(mutex_);
    ensureLoaded();
    return unreadable_;
}

styleDatabase StyleStore::snapshot() const {
    return read([](const styleDatabase& db) { return db; });
}

std::optional<styleContainer> StyleStore::styleByID(std::int64_t uniqueID) const {
    return read([&](const styleDatabase& db) -> std::optional<styleContainer> {
        if (auto position = findPosition(db, uniqueID)) {
            return db.styles[*position];
        }
        return std::nullopt;
    });
}

std::optional<std::size_t> StyleStore::positionByID(std::int64_t uniqueID) const {
    return read([&](const styleDatabase& db) { return findPosition(db, uniqueID); });
}

std::size_t StyleStore::styleCount() const {
    return read([](const styleDatabase& db) { return db.styles.size(); });
}

std::size_t StyleStore::updatableCount() const {
    return read([](const styleDatabase& db) {
        return static_cast<std::size_t>(
            std::count_if(db.styles.begin(), db.styles.end(),
                          [](const styleContainer& s) { return s.source != "custom"; }));
    });
}

bool StyleStore::mostlyEnabled() const {
    return read([](const styleDatabase& db) {
        const auto enabled = std::count_if(db.styles.begin(), db.styles.end(),
                                           [](const styleContainer& s) { return s.isEnabled; });
        return static_cast<std::size_t>(enabled) >= db.styles.size() / 2;
    });
}

// ---- saving ----

void StyleStore::save() {
    {
        std::lock_guard lock(mutex_);
        ensureLoaded();
        db_.randomHash = randomUInt32();
        db_.dateModified = Date::now();
    }
    queueWrite(true);
}

void StyleStore::saveReceivedChanges() {
    {
        std::lock_guard lock(mutex_);
        ensureLoaded();
    }
    queueWrite(false);
}

void StyleStore::queueWrite(bool upload) {
    {
        std::lock_guard pending(pendingMutex_);
        pendingUpload_ = pendingUpload_ || upload;
        if (writePending_) {
            return;
        }
        writePending_ = true;
    }
    queue_->async([this] {
        bool withUpload = false;
        {
            // Cleared before the library is encoded: a save requested from here on queues a
            // write of its own.
            std::lock_guard pending(pendingMutex_);
            writePending_ = false;
            withUpload = pendingUpload_;
            pendingUpload_ = false;
        }
        writeDatabase(withUpload);
    });
}

void StyleStore::reloadFromFile() {
    waitForPendingWrites();
    std::lock_guard lock(mutex_);
    loaded_ = false;
    unreadable_ = false;
    ensureLoaded();
}

void StyleStore::writeDatabase(bool upload) {
    std::string bytes;
    bool unreadable = false;
    {
        // Encoding under the lock gives a consistent library while callers go on changing it.
        std::lock_guard lock(mutex_);
        bytes = encodeDatabase(db_);
        unreadable = unreadable_;
    }
    if (Status sent = wormhole_.passMessage(kStyleDBUpdated, bytes); !sent) {
        services_.reporter->consoleLine("Unable to notify the browser of the change: " +
                                        sent.error());
    }
    if (unreadable) {
        if (Status moved = moveUnreadableFileAside(); !moved) {
            reportWriteFailure(moved.error(), kErrorSavingText);
            return;
        }
    }
    if (Status written = writeFileAtomically(databaseFile(), bytes); !written) {
        reportWriteFailure(written.error(), kErrorSavingText);
        return;
    }
    if (upload && services_.uploader != nullptr && services_.appSettings != nullptr &&
        services_.appSettings->boolValue(keys::kUseCloud)) {
        services_.uploader->uploadDatabase(databaseFile());
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
    std::lock_guard lock(mutex_);
    unreadable_ = false;
    return Done{};
}

void StyleStore::reportWriteFailure(const std::string& detail, const char* text) {
    services_.reporter->consoleLine(kErrorWritingLine);
    services_.reporter->consoleLine(detail);
    services_.reporter->showAlert(kErrorWritingTitle, text);
}

Status StyleStore::writeCopy(const std::filesystem::path& file) {
    std::string bytes;
    {
        std::lock_guard lock(mutex_);
        ensureLoaded();
        bytes = encodeDatabase(db_);
    }
    return writeFileAtomically(file, bytes);
}

void StyleStore::backUp(const std::filesystem::path& file, std::function<void(Status)> done) {
    queue_->async([this, file, done = std::move(done)] {
        Status written = writeCopy(file);
        if (!written) {
            reportWriteFailure(written.error(), kErrorBackupText);
        }
        if (done) {
            done(std::move(written));
        }
    });
}

void StyleStore::keepPreCloudCopy() {
    queue_->async([this] {
        std::error_code ec;
        if (std::filesystem::exists(preCloudFile(), ec)) {
            return;
        }
        if (Status written = writeCopy(preCloudFile()); !written) {
            services_.reporter->consoleLine(kErrorWritingLine);
            services_.reporter->consoleLine(written.error());
        }
    });
}

void StyleStore::waitForPendingWrites() {
    queue_->drain();
}

// ---- changing ----

void StyleStore::compile(styleContainer& style) {
    if (services_.compiler != nullptr) {
        services_.compiler->compileStyle(style);
    }
}

void StyleStore::setAllEnabled(bool enabled) {
    modify([&](styleDatabase& db) {
        for (styleContainer& s : db.styles) {
            s.isEnabled = enabled;
        }
    });
    save();
}

bool StyleStore::setEnabled(std::size_t position, bool enabled) {
    const bool found = modify([&](styleDatabase& db) {
        if (position >= db.styles.size()) {
            return false;
        }
        db.styles[position].isEnabled = enabled;
        return true;
    });
    if (found) {
        save();
    }
    return found;
}

bool StyleStore::duplicate(std::size_t position) {
    const bool found = modify([&](styleDatabase& db) {
        if (position >= db.styles.size()) {
            return false;
        }
        styleContainer copy = db.styles[position];
        copy.styleData.name = "Copy of " + copy.styleData.name;
        copy.source = "custom";
        copy.userstyleID = -1;
        copy.uniqueID = newUniqueID(db);
        db.styles.push_back(std::move(copy));
        return true;
    });
    if (found) {
        save();
    }
    return found;
}

bool StyleStore::remove(std::size_t position) {
    auto id = read([&](const styleDatabase& db) -> std::optional<std::int64_t> {
        if (position >= db.styles.size()) {
            return std::nullopt;
        }
        return db.styles[position].uniqueID;
    });
    if (!id) {
        return false;
    }
    // Observers may read the store, so the notice goes out without the lock held.
    services_.notifications->post(notifications::kCloseProperties, {{"id", *id}});
    modify([&](styleDatabase& db) {
        if (auto now = findPosition(db, *id)) {
            db.styles.erase(db.styles.begin() + static_cast<std::ptrdiff_t>(*now));
        }
    });
    save();
    return true;
}

bool StyleStore::rename(std::size_t position, const std::string& name) {
    auto id = modify([&](styleDatabase& db) -> std::optional<std::int64_t> {
        if (position >= db.styles.size()) {
            return std::nullopt;
        }
        db.styles[position].styleData.name = name;
        return db.styles[position].uniqueID;
    });
    if (!id) {
        return false;
    }
    save();
    services_.notifications->post(notifications::kStyleNameChanged,
                                  {{"id", *id}, {"newname", name}});
    return true;
}

// The edit is taken over, compiled and stamped in one step under the lock: compiling outside it
// and writing a copy back would undo whatever another thread changed in the style meanwhile (a
// rename from the list, a cloud merge). The compiler never calls back into the store.
bool StyleStore::updateProperties(const styleContainer& edited) {
    const bool stored = modify([&](styleDatabase& db) {
        styleContainer* style = findStyle(db, edited.uniqueID);
        if (style == nullptr) {
            return false;
        }
        style->allowIframe = edited.allowIframe;
        style->exclURL = edited.exclURL;
        style->exclDomain = edited.exclDomain;
        style->exclPrefix = edited.exclPrefix;
        style->exclRegExp = edited.exclRegExp;
        style->systemTheme = edited.systemTheme;
        style->userVariables = edited.userVariables;
        compile(*style);
        style->dateModified = Date::now();
        return true;
    });
    if (stored) {
        save();
    }
    return stored;
}

bool StyleStore::saveEditedStyle(std::int64_t uniqueID, const styleContainer& edited) {
    const bool stored = modify([&](styleDatabase& db) {
        styleContainer* style = findStyle(db, uniqueID);
        if (style == nullptr) {
            return false;
        }
        style->styleData = edited.styleData;
        style->version = edited.version;
        style->namespace_ = edited.namespace_;
        style->description = edited.description;
        style->author = edited.author;
        style->license = edited.license;
        style->preprocessor = edited.preprocessor;
        compile(*style);
        style->dateModified = Date::now();
        return true;
    });
    if (!stored) {
        return false;
    }
    save();
    services_.notifications->post(notifications::kUpdateFavicons, {{"id", uniqueID}});
    return true;
}

bool StyleStore::replaceStyleData(std::int64_t uniqueID, styleJSON data,
                                  const styleContainer* expected) {
    return modify([&](styleDatabase& db) {
        styleContainer* target = replaceableStyle(db, uniqueID, expected);
        if (target == nullptr) {
            return false;
        }
        target->styleData = std::move(data);
        target->dateModified = Date::now();
        return true;
    });
}

bool StyleStore::replaceByNewVersion(std::int64_t uniqueID, styleContainer newVersion,
                                     const styleContainer* expected) {
    return modify([&](styleDatabase& db) {
        styleContainer* target = replaceableStyle(db, uniqueID, expected);
        if (target == nullptr) {
            return false;
        }
        newVersion.isEnabled = target->isEnabled;
        newVersion.allowIframe = target->allowIframe;
        newVersion.exclURL = target->exclURL;
        newVersion.exclDomain = target->exclDomain;
        newVersion.exclPrefix = target->exclPrefix;
        newVersion.exclRegExp = target->exclRegExp;
        newVersion.systemTheme = target->systemTheme;
        *target = std::move(newVersion);
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
    const MergeOutcome outcome =
        modify([&](styleDatabase& db) { return mergeStyles(db, *incoming); });
    save();
    return outcome;
}

void StyleStore::append(styleContainer style) {
    modify([&](styleDatabase& db) { db.styles.push_back(std::move(style)); });
}

void StyleStore::replaceAll(styleDatabase db) {
    modify([&](styleDatabase& current) { current = std::move(db); });
}

}  // namespace orlavine
