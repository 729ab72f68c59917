#pragma once
// One simulated machine for the sync tests: its own library folder, settings folder, store and
// engine, sharing only the record store (the "cloud") with the other machines.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <cstdio>
#include <cstdlib>

#include "model/notification_center.h"
#include "model/settings_keys.h"
#include "model/style_store.h"
#include "support/test_support.h"
#include "sync/sync_engine.h"

namespace orlavine::sync::testing {

class RecordingReporter : public Reporter {
  public:
    void consoleLine(std::string_view line) override {
        std::lock_guard lock(mutex_);
        lines.emplace_back(line);
    }
    void showAlert(std::string_view message, std::string_view) override {
        std::lock_guard lock(mutex_);
        alerts.emplace_back(message);
    }
    std::vector<std::string> lines;
    std::vector<std::string> alerts;

  private:
    std::mutex mutex_;
};

class Machine {
  public:
    explicit Machine(RecordStore& cloud) : settings(dir.path() / "config") {
        for (const char* name :
             {notifications::kRefreshTable, notifications::kCloudError,
              notifications::kDeletedStylesChanged, notifications::kStylesChangedInCloud,
              notifications::kPrefsChangedRemotely, notifications::kCloseProperties,
              notifications::kRefreshTableAndScroll, notifications::kOpenStyleNotif,
              notifications::kPerformFirstUpdate, notifications::kLockForCloud}) {
            center.addObserver(name, [this](const Notification& n) {
                std::lock_guard lock(postedMutex_);
                posted.push_back(n);
            });
        }
        StyleStore::Services services;
        services.container = dir.path() / "data";
        services.reporter = &reporter;
        services.notifications = &center;
        services.appSettings = &settings.app;
        services.uploader = &relay_;
        store = std::make_unique<StyleStore>(services);
        SyncServices sync;
        sync.store = store.get();
        sync.settings = &settings;
        sync.notifications = &center;
        sync.reporter = &reporter;
        sync.cloud = &cloud;
        sync.stateFolder = dir.path() / "data";
        engine = std::make_unique<SyncEngine>(sync);
        relay_.engine = engine.get();
    }

    // Adds a style with its own code (so no two test styles match by content) and saves.
    styleContainer add(std::int64_t id, const std::string& name) {
        styleContainer s = orlavine::testing::sampleStyle(id, name);
        s.styleData.sections[0].code = "/* " + name + " */ body { color: red; }";
        s.dateModified = Date::now();
        must(store->add(s));
        return s;
    }
    void edit(std::int64_t id, const std::string& description, Date when) {
        must(store->change([&](styleDatabase& db, LibraryChange& changed) {
            for (styleContainer& s : db.styles) {
                if (s.uniqueID == id) {
                    s.description = description;
                    s.dateModified = when;
                    changed.touch(id);
                }
            }
            return true;
        }));
    }
    void removeStyle(std::int64_t id) { must(store->remove(id)); }
    // The machines' own changes must reach their file; the tests are about what sync does.
    template <class T>
    static void must(const Result<T>& done) {
        if (!done) {
            std::fprintf(stderr, "the library was not written: %s\n", done.error().c_str());
            std::abort();
        }
    }
    // Turns sync on and runs a start of sync, as the preference pane does.
    void enableAndStart() {
        engine->enableSync();
        engine->startCloudSync();
        engine->fetchCloudPreferences();
    }
    void poll() { engine->poll(); }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const styleContainer& s : store->snapshot().styles) {
            out.push_back(s.styleData.name);
        }
        return out;
    }
    std::string description(std::int64_t id) const {
        return store->styleByID(id).value_or(styleContainer{}).description;
    }
    bool useCloud() const { return settings.app.boolValue(keys::kUseCloud); }
    size_t count(const std::string& name) {
        std::lock_guard lock(postedMutex_);
        size_t n = 0;
        for (const Notification& p : posted) {
            n += p.name == name ? 1 : 0;
        }
        return n;
    }

    orlavine::testing::TempDir dir;
    RecordingReporter reporter;
    NotificationCenter center;
    SettingsStores settings;
    std::vector<Notification> posted;

  private:
    struct Relay : CloudUploader {
        SyncEngine* engine = nullptr;
        void uploadDatabase(const std::filesystem::path& file) override {
            engine->uploadDatabase(file);
        }
    };
    Relay relay_;
    std::mutex postedMutex_;

  public:
    // The engine outlives the store, whose background saves call it.
    std::unique_ptr<SyncEngine> engine;
    std::unique_ptr<StyleStore> store;
};

}  // namespace orlavine::sync::testing
