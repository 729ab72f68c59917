#include "library/update_check.h"

#include <utility>

#include "formats/moz_document_reader.h"
#include "formats/usercss_reader.h"
#include "library/catalogue_install.h"
#include "library/style_import.h"
#include "library/url_import.h"
#include "model/date.h"
#include "text/text.h"

namespace orlavine {
namespace {

constexpr const char* kChangedMeanwhile =
    "The style was changed or removed while it was checked; it was left as it is.";

std::string trimmedAddress(const std::optional<std::string>& address) {
    if (!address) {
        return {};
    }
    return std::string(text::trimmed(*address));
}

// The record as the user wrote it: what a preprocessor made of it depends on the variable
// values, which an update does not change.
styleJSON writtenRecord(styleJSON record) {
    for (styleSection& section : record.sections) {
        section.compiledcode.reset();
    }
    record.compSections.reset();
    return record;
}

UpdateCheck failed(UpdateCheck check, std::string detail, const UpdateContext& context) {
    check.outcome = UpdateOutcome::error;
    check.detail = std::move(detail);
    if (context.console != nullptr) {
        context.console->consoleLine("Update check of \"" + check.name + "\": " + check.detail);
    }
    return check;
}

// The outcome of storing a newer version: stored, or why not.
UpdateCheck stored(UpdateCheck check, const Result<bool>& replaced, const UpdateContext& context) {
    if (!replaced) {
        return failed(std::move(check), replaced.error(), context);
    }
    if (!*replaced) {
        return failed(std::move(check), kChangedMeanwhile, context);
    }
    check.outcome = UpdateOutcome::updated;
    return check;
}

UpdateCheck checkCatalogueStyle(const styleContainer& installed, UpdateCheck check,
                                const UpdateContext& context) {
    CatalogueFetch fetched = fetchCatalogueStyle(
        installed.styleData.updateUrl, context.catalogueHost, *context.downloader, context.abort);
    if (!fetched.style) {
        return failed(std::move(check), fetched.detail, context);
    }
    if (fetched.style->originalMd5 == installed.styleData.originalMd5) {
        check.outcome = UpdateOutcome::upToDate;
        return check;
    }
    return stored(
        std::move(check),
        context.store->replaceStyleData(installed.uniqueID, std::move(*fetched.style), installed),
        context);
}

UpdateCheck checkUserCSSStyle(const styleContainer& installed, CheckRules rules, UpdateCheck check,
                              const UpdateContext& context) {
    const std::string address = updateAddress(installed, rules);
    Result<std::string> text = fetchText(address, *context.downloader, context.abort);
    if (!text) {
        return failed(std::move(check), text.error(), context);
    }
    if (!isUserCSSDocument(*text)) {
        return failed(std::move(check), "The address does not hold a UserCSS document.", context);
    }
    UserCSSReadHooks hooks;
    hooks.newUniqueID = [&installed] { return installed.uniqueID; };
    hooks.console = context.console;
    std::optional<styleContainer> fresh = readAndCompileUserCSS(*text, hooks, context.compiler);
    if (!fresh) {
        return failed(std::move(check), "The document holds no style.", context);
    }
    if (fresh->styleData.name == kUnnamedUserCSSStyle) {
        // A document without a name does not rename the style: the sheet keeps the name the
        // style has, a single check names it after the address as an install does.
        fresh->styleData.name = rules == CheckRules::singleStyle ? styleNameForAddress(address)
                                                                 : installed.styleData.name;
    }
    fresh->downloadedFrom = installed.downloadedFrom;
    fresh->isEnabled = installed.isEnabled;

    const styleJSON freshRecord = writtenRecord(fresh->styleData);
    const styleJSON installedRecord = writtenRecord(installed.styleData);
    const bool sameVersion = fresh->version == installed.version;
    const bool sameContent = rules == CheckRules::singleStyle
                                 ? freshRecord == installedRecord
                                 : freshRecord.sections == installedRecord.sections;
    if (sameVersion && sameContent) {
        check.outcome = UpdateOutcome::upToDate;
        return check;
    }
    fresh->uniqueID = installed.uniqueID;
    if (rules == CheckRules::singleStyle) {
        fresh = context.store->carryOverVariableValues(installed, std::move(*fresh));
    }
    return stored(
        std::move(check),
        context.store->replaceByNewVersion(installed.uniqueID, std::move(*fresh), installed),
        context);
}

}  // namespace

std::string updateAddress(const styleContainer& style, CheckRules rules) {
    if (rules == CheckRules::sheet) {
        return style.downloadedFrom;
    }
    std::string address = trimmedAddress(style.updateURL);
    return address.empty() ? style.downloadedFrom : address;
}

bool isCheckable(const styleContainer& style, CheckRules rules) {
    if (style.source == "usorg") {
        return true;
    }
    return style.source == "usercss" && !updateAddress(style, rules).empty();
}

UpdateCheck checkForUpdate(const styleContainer& installed, CheckRules rules,
                           const UpdateContext& context) {
    UpdateCheck check;
    check.name = installed.styleData.name;
    if (!isCheckable(installed, rules)) {
        return check;
    }
    if (installed.source == "usorg") {
        return checkCatalogueStyle(installed, std::move(check), context);
    }
    return checkUserCSSStyle(installed, rules, std::move(check), context);
}

}  // namespace orlavine
