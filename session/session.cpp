#include "session/session.h"

#include <utility>

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
    // record and the browser host's shortcut read them.
    store_->read(
        [&](const styleDatabase& db) { registerAppDefaults(settings_, db, options.desktop); });
    registerExtensionDefaults(settings_);
}

Session::~Session() = default;

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

}  // namespace orlavine
