// orlavine-extension: the native-messaging host that the browser extension talks to. Started by
// the browser; `--install` and `--uninstall` manage the browsers' host manifests.

#include <fcntl.h>
#include <unistd.h>

#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>

#include "extension/cached_library.h"
#include "extension/extension_handler.h"
#include "extension/host_manifests.h"
#include "extension/host_session.h"
#include "extension/native_messaging.h"
#include "model/config.h"
#include "model/date.h"
#include "model/paths.h"
#include "model/reporter.h"
#include "model/settings_keys.h"
#include "model/settings_store.h"
#include "model/style_preview.h"
#include "model/wormhole.h"

namespace {

int manageManifests(bool install) {
    std::error_code ec;
    const auto self = std::filesystem::canonical("/proc/self/exe", ec);
    auto lines = install ? orlavine::installManifests(self) : orlavine::uninstallManifests();
    if (!lines) {
        fmt::print(stderr, "{}\n", lines.error());
        return 1;
    }
    for (const std::string& line : *lines) {
        fmt::print("{}\n", line);
    }
    if (install) {
        fmt::print("The browser extension's ID is {}.\n", orlavine::kChromiumExtensionID);
    }
    return 0;
}

int serve() {
    using namespace orlavine;
    StderrReporter console;
    NotificationCenter nc;
    SettingsStores settings(configDirectory());
    // The desktop program's check whether a browser uses the extension reads this.
    if (Status noted = settings.extension.setDate(keys::kHostLastRun, Date::now()); !noted) {
        console.consoleLine("Cannot note the host's start: " + noted.error());
    }
    const auto container = sharedContainer();
    CachedLibrary library(container, console);
    SafariExtensionHandler handler(settings, library, nc, catalogueHost(settings.app));
    // A larger pipe lets a long reply go out in fewer turns between the host and the browser;
    // the system's limit may refuse it, which only costs speed.
    (void)::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, static_cast<int>(kMaxMessageToBrowser));
    FrameWriter writer(STDOUT_FILENO);
    HostSession session(writer, handler, library, nc, console);

    auto listener = WormholeListener::startWithFile(
        container, kStyleDBUpdated, [&](std::string bytes, FileHandle file) {
            session.libraryChanged(std::move(bytes), std::move(file));
        });
    if (!listener) {
        console.consoleLine("Library changes will not reach open pages: " + listener.error());
    }
    // Styles being edited in the desktop program with live preview on, now and as they change.
    if (Result<std::string> previews = Wormhole(container).message(kStylePreview); previews) {
        library.setPreviews(livePreviews(*previews));
    }
    auto previewListener = WormholeListener::start(
        container, kStylePreview, [&](const std::string& bytes) { session.previewChanged(bytes); });
    FrameReader reader(STDIN_FILENO);
    session.run(reader);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Orlavine's browser host. Browsers start it; run it yourself to set it up."};
    bool install = false;
    bool uninstall = false;
    app.add_flag("--install", install, "Tell the installed browsers where this host is");
    app.add_flag("--uninstall", uninstall, "Remove what --install wrote");
    // Browsers pass the extension's origin (and Firefox the manifest path) as arguments.
    app.allow_extras();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    if (install || uninstall) {
        return manageManifests(install);
    }
    return serve();
}
