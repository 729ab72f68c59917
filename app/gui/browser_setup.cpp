#include "app/gui/browser_setup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <map>

#include "model/atomic_file.h"

namespace orlavine::gui {
namespace {

std::filesystem::path manifestPath(const BrowserManifestPlace& place) {
    return place.folder / (std::string(kNativeHostName) + ".json");
}

bool onPath(const std::string& browser) {
    static const std::map<std::string, QStringList> programs{
        {"Chromium", {QStringLiteral("chromium"), QStringLiteral("chromium-browser")}},
        {"Google Chrome",
         {QStringLiteral("google-chrome"), QStringLiteral("google-chrome-stable")}},
        {"Brave", {QStringLiteral("brave-browser"), QStringLiteral("brave")}},
        {"Vivaldi", {QStringLiteral("vivaldi"), QStringLiteral("vivaldi-stable")}},
        {"Microsoft Edge",
         {QStringLiteral("microsoft-edge"), QStringLiteral("microsoft-edge-stable")}},
        {"Firefox", {QStringLiteral("firefox"), QStringLiteral("firefox-esr")}},
    };
    const auto it = programs.find(browser);
    if (it == programs.end()) {
        return false;
    }
    for (const QString& program : it->second) {
        if (!QStandardPaths::findExecutable(program).isEmpty()) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<BrowserState> browserStates() {
    std::vector<BrowserState> states;
    for (const BrowserManifestPlace& place : manifestPlaces()) {
        std::error_code ec;
        states.push_back(BrowserState{place, onPath(place.browser),
                                      std::filesystem::exists(manifestPath(place), ec)});
    }
    return states;
}

QString hostProgram() {
    const QDir here(QCoreApplication::applicationDirPath());
    // Installed side by side, or in the build tree.
    const QString built = here.filePath(QStringLiteral("../extension/orlavine-extension"));
    if (!QFileInfo::exists(here.filePath(QStringLiteral("orlavine-extension"))) &&
        QFileInfo::exists(built)) {
        return QDir::cleanPath(built);
    }
    return here.filePath(QStringLiteral("orlavine-extension"));
}

QString extensionFolder() {
    const QDir here(QCoreApplication::applicationDirPath());
    // Installed, or in a build tree beside the sources.
    for (const QString& candidate : {here.filePath(QStringLiteral("../share/orlavine/webext")),
                                     here.filePath(QStringLiteral("../../webext")),
                                     here.filePath(QStringLiteral("../webext"))}) {
        if (QFileInfo::exists(candidate + QStringLiteral("/manifest.json"))) {
            return QDir::cleanPath(candidate);
        }
    }
    return {};
}

Status connectBrowser(const BrowserManifestPlace& place) {
    std::error_code ec;
    std::filesystem::create_directories(place.folder, ec);
    if (ec) {
        return Error{ec.message()};
    }
    return writeFileAtomically(manifestPath(place),
                               manifestText(hostProgram().toStdString(), place.firefox));
}

bool anyBrowserConnected() {
    for (const BrowserState& state : browserStates()) {
        if (state.connected) {
            return true;
        }
    }
    return false;
}

}  // namespace orlavine::gui
