#include "model/settings_store.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <cerrno>
#include <cmath>
#include <string>
#include <utility>

#include "model/atomic_file.h"

namespace orlavine {
namespace {

constexpr std::size_t kMaxSettingsBytes = std::size_t{4} * 1024 * 1024;

// Identifies a version of the file without reading it.
std::string fingerprintOf(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        return "absent";
    }
    return std::to_string(info.st_ino) + ":" + std::to_string(info.st_size) + ":" +
           std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec);
}

// The file's object; an absent, unreadable or garbled file reads as no settings at all.
boost::json::object readObject(const std::filesystem::path& file, bool* garbled) {
    *garbled = false;
    auto text = readWholeFile(file, kMaxSettingsBytes);
    if (!text) {
        // Absent is no settings; present but unreadable (too large, not a file) is kept aside
        // by the next write like any other file that cannot be parsed.
        std::error_code ec;
        *garbled = std::filesystem::exists(file, ec);
        return {};
    }
    boost::system::error_code ec;
    boost::json::value parsed = boost::json::parse(*text, ec);
    if (ec || !parsed.is_object()) {
        *garbled = true;
        return {};
    }
    return std::move(parsed.get_object());
}

// The keys whose values differ between two versions of a store.
std::vector<std::string> changedKeys(const boost::json::object& before,
                                     const boost::json::object& after) {
    std::vector<std::string> keys;
    for (const auto& entry : after) {
        const auto* old = before.if_contains(entry.key());
        if (old == nullptr || *old != entry.value()) {
            keys.emplace_back(entry.key());
        }
    }
    for (const auto& entry : before) {
        if (!after.contains(entry.key())) {
            keys.emplace_back(entry.key());
        }
    }
    return keys;
}

}  // namespace

SettingsStore::SettingsStore(std::filesystem::path file) : file_(std::move(file)) {}

void SettingsStore::registerDefault(std::string_view key, boost::json::value value) {
    std::lock_guard lock(mutex_);
    defaults_[key] = std::move(value);
}

void SettingsStore::refresh() const {
    std::string now = fingerprintOf(file_);
    if (now == fingerprint_) {
        return;
    }
    bool garbled = false;
    stored_ = readObject(file_, &garbled);
    fingerprint_ = std::move(now);
}

std::optional<boost::json::value> SettingsStore::value(std::string_view key) const {
    std::lock_guard lock(mutex_);
    refresh();
    if (const auto* v = stored_.if_contains(key)) {
        return *v;
    }
    if (const auto* v = defaults_.if_contains(key)) {
        return *v;
    }
    return std::nullopt;
}

bool SettingsStore::hasStoredValue(std::string_view key) const {
    std::lock_guard lock(mutex_);
    refresh();
    return stored_.contains(key);
}

template <class T, class Check>
std::optional<T> SettingsStore::typed(std::string_view key, Check check) const {
    std::lock_guard lock(mutex_);
    refresh();
    for (const boost::json::object* source :
         {static_cast<const boost::json::object*>(&stored_), &defaults_}) {
        if (const auto* v = source->if_contains(key)) {
            if (auto converted = check(*v)) {
                return converted;
            }
        }
    }
    return std::nullopt;
}

bool SettingsStore::boolValue(std::string_view key) const {
    return typed<bool>(key,
                       [](const boost::json::value& v) -> std::optional<bool> {
                           if (v.is_bool()) {
                               return v.get_bool();
                           }
                           return std::nullopt;
                       })
        .value_or(false);
}

std::int64_t SettingsStore::intValue(std::string_view key) const {
    return typed<std::int64_t>(key,
                               [](const boost::json::value& v) -> std::optional<std::int64_t> {
                                   if (v.is_int64()) {
                                       return v.get_int64();
                                   }
                                   if (v.is_double() &&
                                       std::trunc(v.get_double()) == v.get_double() &&
                                       std::abs(v.get_double()) < 9e18) {
                                       return static_cast<std::int64_t>(v.get_double());
                                   }
                                   return std::nullopt;
                               })
        .value_or(0);
}

std::string SettingsStore::stringValue(std::string_view key) const {
    return typed<std::string>(key,
                              [](const boost::json::value& v) -> std::optional<std::string> {
                                  if (v.is_string()) {
                                      return std::string(v.get_string());
                                  }
                                  return std::nullopt;
                              })
        .value_or(std::string());
}

Date SettingsStore::dateValue(std::string_view key) const {
    return typed<Date>(key,
                       [](const boost::json::value& v) -> std::optional<Date> {
                           if (v.is_number()) {
                               return Date{v.to_number<double>()};
                           }
                           return std::nullopt;
                       })
        .value_or(Date::distantPast());
}

void SettingsStore::setObserver(ChangeObserver observer) {
    std::lock_guard lock(mutex_);
    refresh();
    announced_ = stored_;
    observer_ = std::move(observer);
}

void SettingsStore::checkForChanges() {
    std::vector<std::string> keys;
    ChangeObserver observer;
    {
        std::lock_guard lock(mutex_);
        refresh();
        keys = changedKeys(announced_, stored_);
        announced_ = stored_;
        observer = observer_;
    }
    if (observer && !keys.empty()) {
        observer(keys);
    }
}

namespace {

// Moves an unreadable file to `<file>.unreadable`, or `<file>.unreadable-2`, -3, ... when that is
// taken: a copy kept earlier is never overwritten.
void keepAside(const std::filesystem::path& file) {
    for (int n = 1; n <= 1000; ++n) {
        const std::string aside =
            file.string() + ".unreadable" + (n == 1 ? std::string() : "-" + std::to_string(n));
        if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
            return;
        }
        if (errno == EEXIST) {
            continue;
        }
        if (errno == EINVAL || errno == ENOSYS) {
            // A file system without RENAME_NOREPLACE: a hard link is never made over a name.
            if (::link(file.c_str(), aside.c_str()) == 0) {
                ::unlink(file.c_str());
                return;
            }
            if (errno == EEXIST) {
                continue;
            }
        }
        return;
    }
}

}  // namespace

Status SettingsStore::set(std::string_view key, const boost::json::value& value) {
    return update(key, &value);
}

Status SettingsStore::remove(std::string_view key) {
    return update(key, nullptr);
}

Status SettingsStore::update(std::string_view key, const boost::json::value* value) {
    std::vector<std::string> keys;
    ChangeObserver observer;
    Status written = [&]() -> Status {
        std::lock_guard lock(mutex_);
        std::error_code ec;
        std::filesystem::create_directories(file_.parent_path(), ec);
        ExclusiveFileLock fileLock(file_.string() + ".lock");
        bool garbled = false;
        boost::json::object current = readObject(file_, &garbled);
        if (garbled) {
            // Keep what could not be read for the user to look at rather than dropping it.
            keepAside(file_);
        }
        if (value != nullptr) {
            current[key] = *value;
        } else {
            current.erase(key);
        }
        Status done = writeFileAtomically(file_, boost::json::serialize(current));
        if (done) {
            stored_ = std::move(current);
            fingerprint_ = fingerprintOf(file_);
            if (observer_) {
                keys = changedKeys(announced_, stored_);
                announced_ = stored_;
                observer = observer_;
            }
        }
        return done;
    }();
    // Told with no lock held, so the observer may read the settings.
    if (observer && !keys.empty()) {
        observer(keys);
    }
    return written;
}

SettingsStores::SettingsStores(const std::filesystem::path& folder)
    : app(folder / "app.json"),
      shared(folder / "shared.json"),
      extension(folder / "extension.json") {}

Result<std::unique_ptr<FolderWatcher>> SettingsStores::watch() {
    const std::filesystem::path folder = app.file().parent_path();
    return FolderWatcher::start(folder, [this](const std::set<std::string>& names) {
        for (SettingsStore* store : {&app, &shared, &extension}) {
            if (names.contains(store->file().filename().string())) {
                store->checkForChanges();
            }
        }
    });
}

}  // namespace orlavine
