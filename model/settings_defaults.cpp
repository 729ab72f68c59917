#include "model/settings_defaults.h"

#include <boost/json/string.hpp>
#include <string>

#include "model/settings_keys.h"
#include "model/style_factory.h"

namespace orlavine {

void registerAppDefaults(SettingsStores& stores, const styleDatabase& db,
                         std::optional<ColorScheme> desktop) {
    SettingsStore& app = stores.app;
    app.registerDefault(keys::kUseCloud, false);
    app.registerDefault(keys::kHasConfiguredCloud, false);
    app.registerDefault(keys::kLastSuccessfulSync, Date::distantPast().sinceReference);
    app.registerDefault(keys::kIsFirstLaunch, true);
    app.registerDefault(keys::kIsFirstStyle, true);
    app.registerDefault(keys::kUpdateOnLaunch, false);
    app.registerDefault(keys::kWarnIfDisabled, true);
    app.registerDefault(keys::kWarnReadOnly, true);
    app.registerDefault(keys::kDefaultAuthor, kDefaultAuthorName);
    app.registerDefault(keys::kDefaultNamespace,
                        boost::json::string("orlavine" + std::to_string(newUniqueID(db))));
    app.registerDefault(keys::kAwesomeness, false);
    app.registerDefault(keys::kEditorFontSize, 12);
    app.registerDefault(keys::kEditorShowGutter, true);
    app.registerDefault(keys::kEditorShowErrors, false);
    app.registerDefault(keys::kEditorWordWrap, true);
    app.registerDefault(keys::kEditorAutocomplete, true);
    app.registerDefault(keys::kShowEditorTitle, true);
    app.registerDefault(keys::kEditorStyle, "unified");

    registerSharedDefaults(stores);

    app.registerDefault(keys::kEditorTheme, desktop == ColorScheme::dark ? "dark" : "light");
    app.registerDefault(keys::kEditorFont, "ui-monospace");
}

void registerSharedDefaults(SettingsStores& stores) {
    stores.shared.registerDefault(keys::kInjectIframes, false);
    stores.shared.registerDefault(keys::kToggleShortcut, true);
}

void registerExtensionDefaults(SettingsStores& stores) {
    stores.extension.registerDefault(keys::kEnableStyles, true);
    registerSharedDefaults(stores);
}

namespace keys {
bool isCloudPreference(std::string_view key) {
    for (const CloudPreference& p : kCloudPreferences) {
        if (p.key == key) {
            return true;
        }
    }
    return false;
}
}  // namespace keys

}  // namespace orlavine
