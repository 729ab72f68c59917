#pragma once
// The settings keys of both programs, which store holds each, and which travel with the cloud
// preferences record.

#include <array>
#include <string_view>

namespace orlavine::keys {

// Application store.
inline constexpr const char* kUseCloud = "UseiCloud";
inline constexpr const char* kHasConfiguredCloud = "hasConfigurediCloud";
inline constexpr const char* kLastSuccessfulSync = "lastSuccessfulSync";
inline constexpr const char* kIsFirstLaunch = "isFirstLaunch";
inline constexpr const char* kIsFirstStyle = "isFirstStyle";
inline constexpr const char* kUpdateOnLaunch = "UpdateOnLaunch";
inline constexpr const char* kWarnIfDisabled = "WarnIfDisabled";
inline constexpr const char* kWarnReadOnly = "WarnReadOnly";
inline constexpr const char* kDefaultAuthor = "DefaultAuthor";
inline constexpr const char* kDefaultNamespace = "DefaultNamespace";
inline constexpr const char* kAwesomeness = "Awesomeness";
inline constexpr const char* kEditorTheme = "ACETheme";
inline constexpr const char* kEditorFont = "ACEFont";
inline constexpr const char* kEditorFontSize = "ACEFontSize";
inline constexpr const char* kEditorShowGutter = "ACEShowGutter";
inline constexpr const char* kEditorShowErrors = "ACEShowErrors";
inline constexpr const char* kEditorWordWrap = "ACEWordWrap";
inline constexpr const char* kEditorAutocomplete = "ACEAutocomplete";
inline constexpr const char* kShowEditorTitle = "showEditorTitle";
inline constexpr const char* kEditorStyle = "editorStyle";

// Shared store.
inline constexpr const char* kInjectIframes = "InjectIframes";
inline constexpr const char* kToggleShortcut = "toggleShortcut";

// Browser host store.
inline constexpr const char* kEnableStyles = "enableStyles";
// When a browser last started the host (a date).
inline constexpr const char* kHostLastRun = "hostLastRun";

enum class TransferType { boolean, integer, string };
enum class Store { app, shared };

struct CloudPreference {
    std::string_view key;
    TransferType type;
    Store store;
};

// The keys of the cloud preferences record, with the form each takes there.
inline constexpr std::array<CloudPreference, 15> kCloudPreferences{{
    {kEditorWordWrap, TransferType::boolean, Store::app},
    {kUpdateOnLaunch, TransferType::boolean, Store::app},
    {kEditorShowErrors, TransferType::boolean, Store::app},
    {kAwesomeness, TransferType::boolean, Store::app},
    {kEditorAutocomplete, TransferType::boolean, Store::app},
    {kWarnIfDisabled, TransferType::boolean, Store::app},
    {kWarnReadOnly, TransferType::boolean, Store::app},
    {kShowEditorTitle, TransferType::boolean, Store::app},
    {kEditorFontSize, TransferType::integer, Store::app},
    {kDefaultAuthor, TransferType::string, Store::app},
    {kDefaultNamespace, TransferType::string, Store::app},
    {kEditorFont, TransferType::string, Store::app},
    {kEditorTheme, TransferType::string, Store::app},
    {kEditorStyle, TransferType::string, Store::app},
    {kToggleShortcut, TransferType::boolean, Store::shared},
}};

bool isCloudPreference(std::string_view key);

}  // namespace orlavine::keys
