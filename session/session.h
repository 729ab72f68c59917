#pragma once
// What every front end works with (the command line, the desktop program): the library store,
// the three settings stores with their registered defaults, the notification centre, the one
// downloader of the process, the compiler and what the sync engine needs. Built once per process;
// the front end brings the reporter that shows its alerts.

#include <filesystem>
#include <memory>
#include <optional>

#include "library/update_check.h"
#include "model/notification_center.h"
#include "model/reporter.h"
#include "model/settings_defaults.h"
#include "model/settings_store.h"
#include "model/style_store.h"
#include "model/wormhole.h"
#include "net/web_download.h"
#include "preprocess/compiler_errors.h"
#include "preprocess/less_imports.h"
#include "preprocess/style_preprocessor.h"
#include "sync/sync_engine.h"

namespace orlavine {

class Session {
  public:
    struct Options {
        std::filesystem::path container;     // the library's folder
        std::filesystem::path configFolder;  // the settings' folder
        std::filesystem::path cacheFolder;   // caches (Less imports)
        std::optional<ColorScheme> desktop;  // for the editor theme's default
        // The library is read by readLibrary(), later and on any thread, rather than before
        // the constructor returns (a window can show while a large library is read).
        bool readLibraryLater = false;
    };
    // The folders of the environment (ORLAVINE_HOME, ORLAVINE_CONFIG, XDG_*).
    static Options defaultOptions();

    Session(Reporter& reporter, Options options = defaultOptions());
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    StyleStore& store() { return *store_; }
    SettingsStores& settings() { return settings_; }
    Reporter& reporter() { return reporter_; }
    NotificationCenter& notifications() { return notifications_; }
    // Compiles Less and Stylus and substitutes variables; the store runs it on every save of an
    // edited style, and readers of new styles take it as their compiler.
    StyleCompiler& compiler() { return *preprocessor_; }
    const ConsoleCompilerErrors& compilerErrors() const { return compilerErrors_; }
    ConsoleCompilerErrors& compilerErrors() { return compilerErrors_; }
    // Every download of the process goes through this one, so its per-host bound holds.
    Downloader& downloader() { return *downloader_; }

    // Reads the library file (the store would at its first use) and registers the defaults that
    // depend on it ("DefaultNamespace" names no style of it). Needed with `readLibraryLater`
    // only, before anything creates a style.
    void readLibrary();

    // What a sync engine for `cloud` works with; its state is kept beside the library.
    sync::SyncServices syncServices(sync::RecordStore& cloud);
    // What update checks need: the store, the downloader, the compiler and the console.
    UpdateContext updateContext();

    // Follows what other programs write: the library's change notice and the settings files.
    // Their changes arrive as "libraryChanged" and "settingsChanged" notices, posted on a
    // watcher thread. Programs that live long (the desktop program, a sync watcher) call it.
    Status watchOtherPrograms();

  private:
    Reporter& reporter_;
    std::optional<ColorScheme> desktop_;
    NotificationCenter notifications_;
    SettingsStores settings_;
    ConsoleCompilerErrors compilerErrors_{reporter_};
    std::unique_ptr<Downloader> downloader_;
    std::unique_ptr<CachedHttpImports> lessImports_;
    std::unique_ptr<StylePreprocessor> preprocessor_;
    std::unique_ptr<StyleStore> store_;
    // Last, so they stop before what they call into goes.
    std::unique_ptr<WormholeListener> libraryWatch_;
    std::unique_ptr<FolderWatcher> settingsWatch_;
};

}  // namespace orlavine
