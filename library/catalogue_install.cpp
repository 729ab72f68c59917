#include "library/catalogue_install.h"

#include <algorithm>
#include <utility>

#include "formats/catalogue_address.h"
#include "model/config.h"
#include "model/content_hash.h"
#include "model/record_json.h"
#include "model/style_factory.h"
#include "text/text.h"

namespace orlavine {
namespace {

void alertFor(ImportErrors error, Reporter& reporter) {
    switch (error) {
        case ImportErrors::CouldNotConnect:
            reporter.showAlert(kErrorGettingStyleTitle, kErrorGettingStyleText);
            break;
        case ImportErrors::CouldNotDecode:
            reporter.showAlert(kJSONErrorTitle, kJSONErrorText);
            break;
        case ImportErrors::InvalidURL:
            reporter.showAlert(kUnsupportedURLTitle, kUnsupportedURLText);
            break;
    }
}

}  // namespace

std::string unknownErrorText() {
    return std::string("An unknown error occurred. If you get this error, please let me know at ") +
           SupportAddress + ".";
}

std::string duplicateStyleText(std::string_view name) {
    return "The style \"" + std::string(name) + "\" is already installed.";
}

Result<std::string> fetchText(std::string_view address, Downloader& downloader,
                              const std::atomic<bool>* cancel) {
    auto bytes = downloader.fetch(address, cancel);
    if (!bytes) {
        return bytes;
    }
    std::string text = std::move(*bytes);
    if (!text::isValidUtf8(text)) {
        return Error{"The answer is not UTF-8 text."};
    }
    text.erase(0, text.size() - text::withoutByteOrderMark(text).size());
    return text;
}

CatalogueFetch fetchCatalogueStyle(std::string_view address, std::string_view catalogueHost,
                                   Downloader& downloader, const std::atomic<bool>* cancel) {
    CatalogueFetch result;
    const std::string jsonAddress = catalogueJSONURL(address, catalogueHost);
    if (jsonAddress.empty()) {
        result.error = ImportErrors::InvalidURL;
        result.detail = "The address is not a catalogue style address.";
        return result;
    }
    if (Status usable = checkWebAddress(jsonAddress, downloader.options().limits); !usable) {
        result.error = ImportErrors::InvalidURL;
        result.detail = usable.error();
        return result;
    }
    auto bytes = downloader.fetch(jsonAddress, cancel);
    if (!bytes) {
        result.error = ImportErrors::CouldNotConnect;
        result.detail = bytes.error();
        return result;
    }
    auto decoded = decodeStyleJSON(*bytes);
    if (!decoded) {
        result.error = ImportErrors::CouldNotDecode;
        result.detail = decoded.error();
        return result;
    }
    result.style = std::move(*decoded);
    return result;
}

std::optional<styleContainer> installFromCatalogue(std::string_view address,
                                                   const LibraryServices& services) {
    const std::string host = catalogueHost(services.appSettings);
    const std::int64_t number = catalogueStyleID(address, host);
    if (catalogueJSONURL(address, host).empty()) {
        alertFor(ImportErrors::InvalidURL, services.reporter);
        return std::nullopt;
    }
    if (services.downloader == nullptr) {
        services.reporter.showAlert(kUnknownErrorTitle, unknownErrorText());
        return std::nullopt;
    }
    CatalogueFetch fetched =
        fetchCatalogueStyle(address, host, *services.downloader, services.cancel);
    if (!fetched.style) {
        services.reporter.consoleLine(std::string(address) + ": " + fetched.detail);
        alertFor(fetched.error, services.reporter);
        return std::nullopt;
    }
    if (number >= 1) {
        const bool installed = services.store.read([number](const styleDatabase& db) {
            return std::any_of(
                db.styles.begin(), db.styles.end(),
                [number](const styleContainer& s) { return s.userstyleID == number; });
        });
        if (installed) {
            services.reporter.showAlert(kDuplicateStyleTitle,
                                        duplicateStyleText(fetched.style->name));
            return std::nullopt;
        }
    }
    return services.store.read([&](const styleDatabase& db) {
        return newStyle(std::move(*fetched.style), "usorg", number, db);
    });
}

bool isAlreadyInstalled(const StyleStore& store, const styleContainer& style) {
    const std::uint64_t hash = contentHash(style.styleData);
    return store.read([hash](const styleDatabase& db) {
        return std::any_of(db.styles.begin(), db.styles.end(), [hash](const styleContainer& s) {
            return contentHash(s.styleData) == hash;
        });
    });
}

}  // namespace orlavine
