#pragma once
// Fetching styles from the web: the text at an address, a style of the public catalogue in its
// JSON form, and the catalogue install with its alerts.

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

#include "library/library_services.h"
#include "model/result.h"

namespace orlavine {

// Why a catalogue style could not be had, in the catalogue's numbering.
enum class ImportErrors { CouldNotConnect = 0, CouldNotDecode = 1, InvalidURL = 2 };

struct CatalogueFetch {
    std::optional<styleJSON> style;  // nothing on failure
    ImportErrors error = ImportErrors::CouldNotConnect;
    std::string detail;  // what went wrong, for console lines
};

inline constexpr const char* kErrorGettingStyleTitle = "Error Getting Style";
inline constexpr const char* kErrorGettingStyleText =
    "There was an error getting the style at the URL requested. Either the URL didn't contain a "
    "valid style, or there is a problem with your network connection.";
inline constexpr const char* kJSONErrorTitle = "JSON Error";
inline constexpr const char* kJSONErrorText =
    "There was an error parsing the style at the URL provided.";
inline constexpr const char* kUnsupportedURLTitle = "Unsupported URL";
inline constexpr const char* kUnsupportedURLText =
    "The URL provided is either invalid or not currently supported.";
inline constexpr const char* kDuplicateStyleTitle = "Duplicate Style";
inline constexpr const char* kUnknownErrorTitle = "Unknown error";

// The "Unknown error" text, which gives the support address.
std::string unknownErrorText();

// The "Duplicate Style" text for a style named `name`.
std::string duplicateStyleText(std::string_view name);

// The text at `address` read as UTF-8 (a byte-order mark dropped), or why there is none: the
// address is refused, the download fails, or the bytes are not UTF-8.
Result<std::string> fetchText(std::string_view address, Downloader& downloader,
                              const std::atomic<bool>* cancel = nullptr);

// The catalogue style at `address` (a style page or JSON address on `catalogueHost`). Reports
// nothing itself.
CatalogueFetch fetchCatalogueStyle(std::string_view address, std::string_view catalogueHost,
                                   Downloader& downloader,
                                   const std::atomic<bool>* cancel = nullptr);

// A new catalogue style ("usorg") made from the catalogue at `address`, not yet added to the
// library, or nothing after an alert: the address is not a catalogue style's, the fetch or the
// decode failed, or a style with the same catalogue number is installed.
std::optional<styleContainer> installFromCatalogue(std::string_view address,
                                                   const LibraryServices& services);

// Whether a style of the library has the same catalogue record as `style`.
bool isAlreadyInstalled(const StyleStore& store, const styleContainer& style);

}  // namespace orlavine
