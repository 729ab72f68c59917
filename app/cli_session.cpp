#include "app/cli_session.h"

#include "model/paths.h"

namespace orlavine {

CliSession::CliSession() : settings_(configDirectory()) {
    downloader_ = std::make_unique<Downloader>(downloadOptions(settings_.app));
    lessImports_ =
        std::make_unique<CachedHttpImports>(cacheDirectory() / "less-imports", *downloader_);
    preprocessor_ = std::make_unique<StylePreprocessor>(
        StylePreprocessor::Services{&reporter_, &compilerErrors_, {}, {}, lessImports_.get()});
    StyleStore::Services services;
    services.container = sharedContainer();
    services.reporter = &reporter_;
    services.notifications = &notifications_;
    services.appSettings = &settings_.app;
    services.compiler = preprocessor_.get();
    store_ = std::make_unique<StyleStore>(std::move(services));
}

CliSession::~CliSession() {
    store_->waitForPendingWrites();
}

bool CliSession::finish() {
    store_->waitForPendingWrites();
    return !reporter_.alerted();
}

}  // namespace orlavine
