#pragma once
// A library in a temporary folder with the services that creating and importing styles use,
// recording the alerts and notifications they produce.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "library/library_services.h"
#include "model/settings_defaults.h"
#include "support/test_support.h"

namespace orlavine::testing {

class RecordingReporter : public Reporter {
  public:
    void consoleLine(std::string_view line) override { lines.emplace_back(line); }
    void showAlert(std::string_view message, std::string_view informative) override {
        alerts.emplace_back(message, informative);
    }
    std::vector<std::string> lines;
    std::vector<std::pair<std::string, std::string>> alerts;
};

class LibraryFixture {
  public:
    LibraryFixture() : settings(home.path() / "config") {
        registerAppDefaults(settings, styleDatabase{}, std::nullopt);
        for (const char* name : {"addLatestStyle", "addToOpenStyles"}) {
            notifications.addObserver(name, [this](const Notification& n) { posted.push_back(n); });
        }
        store = std::make_unique<StyleStore>(makeServices());
    }

    LibraryServices services() {
        return LibraryServices{*store, settings.app, reporter, &notifications};
    }

    // The library as a fresh store reads it from the file.
    styleDatabase saved() {
        StyleStore again(makeServices());
        return again.snapshot();
    }

    std::vector<std::string> postedNames() const {
        std::vector<std::string> names;
        for (const Notification& n : posted) {
            names.push_back(n.name);
        }
        return names;
    }

    TempDir home;
    SettingsStores settings;
    RecordingReporter reporter;
    NotificationCenter notifications;
    std::vector<Notification> posted;
    std::unique_ptr<StyleStore> store;

  private:
    StyleStore::Services makeServices() {
        StyleStore::Services s;
        s.container = home.path() / "data";
        s.reporter = &reporter;
        s.notifications = &notifications;
        s.appSettings = &settings.app;
        return s;
    }
};

}  // namespace orlavine::testing
