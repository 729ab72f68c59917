#pragma once
// One settings store: a JSON object in a file, shared between processes. Registered defaults
// live in memory only and answer for keys the user never set. Every read sees what another
// process wrote last; every write re-reads the file under an advisory lock and replaces it
// atomically, so two processes never drop each other's keys.

#include <boost/json/object.hpp>
#include <boost/json/value.hpp>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/date.h"
#include "model/folder_watcher.h"
#include "model/result.h"

namespace orlavine {

class SettingsStore {
  public:
    explicit SettingsStore(std::filesystem::path file);
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    const std::filesystem::path& file() const { return file_; }

    // Fallback values; never written to the file.
    void registerDefault(std::string_view key, boost::json::value value);

    // The stored value, else the registered default, else nothing.
    std::optional<boost::json::value> value(std::string_view key) const;
    bool hasStoredValue(std::string_view key) const;

    // Typed reads. A stored value of the wrong type counts as unset; without a usable default
    // they answer false, 0, "" and the distant past.
    bool boolValue(std::string_view key) const;
    std::int64_t intValue(std::string_view key) const;
    std::string stringValue(std::string_view key) const;
    Date dateValue(std::string_view key) const;

    // Told the keys whose stored values changed: after a write by this process, and when
    // checkForChanges() finds what another process wrote. Called without the store's lock.
    using ChangeObserver = std::function<void(const std::vector<std::string>& keys)>;
    void setObserver(ChangeObserver observer);
    // Reads the file again and tells the observer what another process changed.
    void checkForChanges();

    Status set(std::string_view key, const boost::json::value& value);
    Status setDate(std::string_view key, Date date) { return set(key, date.sinceReference); }
    Status remove(std::string_view key);

  private:
    // Re-reads the file when it changed since the last read. Caller holds mutex_.
    void refresh() const;
    Status update(std::string_view key, const boost::json::value* value);
    template <class T, class Check>
    std::optional<T> typed(std::string_view key, Check check) const;

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    mutable boost::json::object stored_;
    mutable std::string fingerprint_;
    boost::json::object defaults_;
    // The stored values the observer was last told about.
    boost::json::object announced_;
    ChangeObserver observer_;
};

// The application's store, the store both programs share, and the browser host's own store:
// app.json, shared.json and extension.json in the settings folder.
struct SettingsStores {
    explicit SettingsStores(const std::filesystem::path& folder);
    SettingsStore app;
    SettingsStore shared;
    SettingsStore extension;

    // Watches the settings folder and has each store check for changes another process wrote.
    Result<std::unique_ptr<FolderWatcher>> watch();
};

}  // namespace orlavine
