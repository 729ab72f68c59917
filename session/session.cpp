#include "session/session.h"

#include <utility>

#include "model/config.h"
#include "model/paths.h"
#include "model/settings_defaults.h"

namespace orlavine {

Session::Options Session::defaultOptions() {
    return Options{sharedContainer(), configDirectory(), cacheDirectory(), std::nullopt};
}

Session::Session(Reporter& reporter, Options options)
    : reporter_(reporter), settings_(options.configFolder) {
    downloader_ = std::make_unique<Downloader>(downloadOptions(settings_.app));
    lessImports_ =
        std::make_unique<CachedHttpImports>(options.cacheFolder / "less-imports", *downloader_);
    preprocessor_ = std::make_unique<StylePreprocessor>(
        StylePreprocessor::Services{&reporter_, &compilerErrors_, {}, {}, lessImports_.get()});
    StyleStore::Services services;
    services.container = options.container;
    services.reporter = &reporter_;
    services.notifications = &notifications_;
    services.appSettings = &settings_.app;
    services.compiler = preprocessor_.get();
    store_ = std::make_unique<StyleStore>(std::move(services));
    // Defaults answer for every key the user never set, in every program: the synced preferences
    // record and the browser host's shortcut read them. Only the styles' IDs are read.
    desktop_ = options.desktop;
    if (options.readLibraryLater) {
        registerAppDefaults(settings_, styleDatabase{}, desktop_);
    } else {
        readLibrary();
    }
    registerExtensionDefaults(settings_);
    for (SettingsStore* store : {&settings_.app, &settings_.shared, &settings_.extension}) {
        store->setObserver(
            [this, file = store->file().filename().string()](const std::vector<std::string>& keys) {
                for (const std::string& key : keys) {
                    notifications_.post(notifications::kSettingsChanged,
                                        {{"file", file}, {"key", key}});
                }
            });
    }
}

Session::~Session() = default;

void Session::readLibrary() {
    // Drawn again now that the styles are known (the first draw could not avoid their numbers).
    store_->readSummary(
        [&](const styleDatabase& db) { registerAppDefaults(settings_, db, desktop_); });
}

sync::SyncServices Session::syncServices(sync::RecordStore& cloud) {
    sync::SyncServices services;
    services.store = store_.get();
    services.settings = &settings_;
    services.notifications = &notifications_;
    services.reporter = &reporter_;
    services.cloud = &cloud;
    services.stateFolder = store_->databaseFile().parent_path();
    return services;
}

UpdateContext Session::updateContext() {
    UpdateContext context;
    context.store = store_.get();
    context.downloader = downloader_.get();
    context.catalogueHost = catalogueHost(settings_.app);
    context.compiler = preprocessor_.get();
    context.console = &reporter_;
    return context;
}

Status Session::watchOtherPrograms() {
    if (!libraryWatch_) {
        auto library =
            WormholeListener::start(store_->databaseFile().parent_path(), kStyleDBUpdated,
                                    [this](const std::string&) { store_->refresh(); });
        if (!library) {
            return Error{library.error()};
        }
        libraryWatch_ = std::move(library).value();
    }
    if (!settingsWatch_) {
        auto settings = settings_.watch();
        if (!settings) {
            return Error{settings.error()};
        }
        settingsWatch_ = std::move(settings).value();
    }
    return Done{};
}

}  // namespace orlavine
