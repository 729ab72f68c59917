#include "extension/cached_library.h"

#include <utility>

#include "model/atomic_file.h"
#include "model/paths.h"
#include "model/record_json.h"
#include "model/style_factory.h"
#include "model/style_store.h"

namespace orlavine {

CachedLibrary::CachedLibrary(std::filesystem::path container, Reporter& reporter)
    : container_(std::move(container)), reporter_(reporter) {}

std::shared_ptr<const CompiledLibrary> CachedLibrary::current() {
    std::lock_guard lock(mutex_);
    if (library_) {
        return library_;
    }
    // The host never writes the file: a missing or unreadable one gives an empty library.
    styleDatabase db = newDatabase();
    const auto file = container_ / kDatabaseFileName;
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        auto text = readWholeFile(file, kMaxDatabaseBytes);
        auto decoded = text ? decodeDatabase(*text) : Result<styleDatabase>(Error{text.error()});
        if (decoded) {
            db = std::move(decoded).value();
        } else {
            reporter_.consoleLine(kErrorDecodingLine);
        }
    }
    library_ = CompiledLibrary::build(std::move(db));
    return library_;
}

bool CachedLibrary::replaceFromBytes(std::string_view bytes) {
    auto decoded = decodeDatabase(bytes);
    if (!decoded) {
        return false;
    }
    // Compile outside the lock: pages go on being served from the previous revision meanwhile.
    auto compiled = CompiledLibrary::build(std::move(decoded).value());
    std::lock_guard lock(mutex_);
    library_ = std::move(compiled);
    return true;
}

}  // namespace orlavine
