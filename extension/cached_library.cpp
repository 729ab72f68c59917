#include "extension/cached_library.h"

#include <utility>

#include "model/atomic_file.h"
#include "model/paths.h"
#include "model/record_json.h"
#include "model/style_factory.h"
#include "model/style_preview.h"
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
    saved_ = CompiledLibrary::build(std::move(db));
    library_ = overlay(saved_, previews_);
    return library_;
}

std::shared_ptr<const CompiledLibrary> CachedLibrary::overlay(
    const std::shared_ptr<const CompiledLibrary>& saved,
    const std::vector<styleContainer>& previews) const {
    if (previews.empty()) {
        return saved;
    }
    return CompiledLibrary::build(withPreviews(saved->database(), previews));
}

void CachedLibrary::setPreviews(std::vector<styleContainer> previews) {
    std::shared_ptr<const CompiledLibrary> saved;
    {
        std::lock_guard lock(mutex_);
        saved = saved_;
        if (!saved) {  // not read yet: current() puts them over the library when it is
            previews_ = std::move(previews);
            return;
        }
    }
    // Compile outside the lock, as a change of the library does.
    auto shown = overlay(saved, previews);
    std::lock_guard lock(mutex_);
    previews_ = std::move(previews);
    if (saved_ == saved) {
        library_ = std::move(shown);
    } else {  // the library changed meanwhile
        library_ = overlay(saved_, previews_);
    }
}

bool CachedLibrary::replaceFromBytes(std::string_view bytes) {
    auto decoded = decodeDatabase(bytes);
    if (!decoded) {
        return false;
    }
    // Compile outside the lock: pages go on being served from the previous revision meanwhile.
    auto compiled = CompiledLibrary::build(std::move(decoded).value());
    std::vector<styleContainer> previews;
    {
        std::lock_guard lock(mutex_);
        previews = previews_;
    }
    auto shown = overlay(compiled, previews);
    std::lock_guard lock(mutex_);
    saved_ = std::move(compiled);
    library_ = previews == previews_ ? std::move(shown) : overlay(saved_, previews_);
    return true;
}

}  // namespace orlavine
