#include "library/style_import.h"

#include <utility>

#include "formats/moz_document_reader.h"
#include "formats/usercss_reader.h"
#include "model/atomic_file.h"
#include "model/style_factory.h"
#include "text/text.h"

namespace orlavine {
namespace {

ImportOutcome added(ImportResult result, const LibraryServices& services, styleContainer style) {
    std::string name = style.styleData.name;
    const Result<std::int64_t> id = services.store.add(std::move(style));
    if (!id) {
        return ImportOutcome{ImportResult::notSaved, 0, std::move(name)};
    }
    if (services.notifications != nullptr) {
        services.notifications->post(notifications::kAddLatestStyle);
    }
    return ImportOutcome{result, *id, std::move(name)};
}

std::optional<styleContainer> readDocument(std::string_view text, const LibraryServices& services) {
    UserCSSReadHooks hooks;
    hooks.newUniqueID = [&services] {
        return services.store.read([](const styleDatabase& db) { return newUniqueID(db); });
    };
    hooks.console = &services.reporter;
    auto style = readAndCompileUserCSS(text, hooks, services.compiler);
    if (style) {
        // Only a document that names its update address can be updated from it.
        style->source = style->updateURL && !style->updateURL->empty() ? "usercss" : "custom";
    }
    return style;
}

}  // namespace

std::optional<styleContainer> readAndCompileUserCSS(std::string_view text,
                                                    const UserCSSReadHooks& hooks,
                                                    StyleCompiler* compiler) {
    std::optional<styleContainer> style = readUserCSS(text, hooks);
    if (style && compiler != nullptr && needsCompiling(*style)) {
        compiler->compileStyle(*style);
    }
    return style;
}

styleContainer plainStyle(std::string name, std::string_view text) {
    styleSection section;
    section.code = std::string(text);
    styleJSON data;
    data.name = std::move(name);
    data.sections.push_back(std::move(section));
    return newStyle(std::move(data), "custom", -1, styleDatabase{});
}

ImportOutcome importPastedText(std::string_view text, const LibraryServices& services) {
    if (!isUserCSSDocument(text)) {
        ImportOutcome outcome =
            added(ImportResult::addedWithoutRules, services, plainStyle(kPastedStyleName, text));
        if (outcome.result == ImportResult::addedWithoutRules) {
            services.reporter.showAlert(kNoRulesTitle, kNoRulesText);
        }
        return outcome;
    }
    auto style = readDocument(text, services);
    if (!style) {
        services.reporter.showAlert(kInvalidStyleTitle, kInvalidPastedStyleText);
        return ImportOutcome{};
    }
    if (style->styleData.name == kUnnamedUserCSSStyle) {
        style->styleData.name = kMozDocumentStyleName;
    }
    return added(ImportResult::added, services, std::move(*style));
}

std::string styleNameForFile(const std::filesystem::path& file) {
    std::string base = file.filename().stem().string();
    if (base.ends_with(".user")) {
        base.erase(base.find(".user"));
    }
    return base;
}

ImportOutcome importStyleFile(const std::filesystem::path& file, const LibraryServices& services) {
    auto bytes = readWholeFile(file, kMaxStyleFileBytes);
    if (!bytes || !text::isValidUtf8(*bytes)) {
        return ImportOutcome{ImportResult::unreadable, 0, {}};
    }
    const std::string_view text = text::withoutByteOrderMark(*bytes);
    const std::string base = styleNameForFile(file);
    if (!isUserCSSDocument(text)) {
        ImportOutcome outcome =
            added(ImportResult::addedWithoutRules, services, plainStyle(base, text));
        if (outcome.result != ImportResult::addedWithoutRules) {
            return outcome;
        }
        services.reporter.showAlert(
            kFileNoRulesTitle,
            "The style \"" + base +
                "\" does not have any defined rules for where it should be applied. If you do "
                "not define these rules, the style will be applied to all sites.");
        return outcome;
    }
    auto style = readDocument(text, services);
    if (!style) {
        services.reporter.showAlert(kInvalidStyleTitle,
                                    "There was an error importing the file \"" +
                                        file.filename().string() +
                                        ".\" Please make sure there are no formatting or syntax "
                                        "errors in the file.");
        return ImportOutcome{};
    }
    if (style->styleData.name == kUnnamedUserCSSStyle) {
        style->styleData.name = base;
    }
    return added(ImportResult::added, services, std::move(*style));
}

}  // namespace orlavine
