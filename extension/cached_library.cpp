#include "extension/cached_library.h"

#include <sys/stat.h>

#include <utility>

#include "extension/library_code.h"
#include "model/atomic_file.h"
#include "model/library_outline.h"
#include "model/paths.h"
#include "model/record_json.h"
#include "model/style_factory.h"
#include "model/style_preview.h"
#include "model/style_store.h"

namespace orlavine {

namespace {

std::optional<LibraryFileIdentity> identityOf(const FileHandle& file) {
    struct stat info {};
    if (!file || ::fstat(file.get(), &info) != 0) {
        return std::nullopt;
    }
    return LibraryFileIdentity::of(info);
}

}  // namespace

CachedLibrary::CachedLibrary(std::filesystem::path container, Reporter& reporter, bool keepIndex)
    : container_(std::move(container)),
      reporter_(reporter),
      keepIndex_(keepIndex),
      index_(container_ / kDatabaseFileName) {}

std::shared_ptr<const CompiledLibrary> CachedLibrary::current() {
    std::lock_guard lock(mutex_);
    if (library_) {
        return library_;
    }
    // The host never writes the file: a missing or unreadable one gives an empty library.
    const auto file = container_ / kDatabaseFileName;
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        Result<FileHandle> handle = openRegularFile(file);
        const auto identity = handle ? identityOf(*handle) : std::nullopt;
        if (identity) {
            saved_ = fromIndex(file, *handle, *identity);
        }
        if (!saved_) {
            auto text = handle ? readOpenFile(*handle, file, kMaxDatabaseBytes)
                               : Result<std::string>(Error{handle.error()});
            saved_ = text ? compile(std::move(text).value(), std::move(*handle)) : nullptr;
            if (saved_ && identity && keepIndex_) {
                index_.keep(saved_, *identity);
            }
        }
        if (!saved_) {
            reporter_.consoleLine(kErrorDecodingLine);
        }
    }
    if (!saved_) {
        saved_ = CompiledLibrary::build(newDatabase());
    }
    library_ = overlay(saved_, previews_);
    return library_;
}

std::shared_ptr<const CompiledLibrary> CachedLibrary::fromIndex(
    const std::filesystem::path& database, FileHandle& file, const LibraryFileIdentity& identity) {
    auto index = readLibraryIndex(database, identity);
    if (!index) {
        return nullptr;
    }
    auto code = LibraryCode::make(*index, std::move(file));
    return CompiledLibrary::build(std::move(index->records), std::move(code), {});
}

std::shared_ptr<const CompiledLibrary> CachedLibrary::compile(std::string bytes, FileHandle file) {
    auto text = std::make_shared<const std::string>(std::move(bytes));
    if (file) {
        if (auto outlined = LibraryOutline::read(text, LibraryOutline::CodeCheck::onDecode)) {
            // The code stays in the file; the text read is let go once its emptiness is known.
            auto code = LibraryCode::make(outlined->first, std::move(file));
            styleDatabase db = std::move(outlined->second);
            outlined.reset();
            text.reset();
            return CompiledLibrary::build(std::move(db), std::move(code), {});
        }
    }
    auto decoded = decodeDatabase(*text);
    return decoded ? CompiledLibrary::build(std::move(decoded).value()) : nullptr;
}

std::shared_ptr<const CompiledLibrary> CachedLibrary::overlay(
    const std::shared_ptr<const CompiledLibrary>& saved,
    const std::vector<styleContainer>& previews) const {
    if (previews.empty()) {
        return saved;
    }
    std::vector<std::int64_t> ownCode;
    ownCode.reserve(previews.size());
    for (const styleContainer& preview : previews) {
        ownCode.push_back(preview.uniqueID);
    }
    return CompiledLibrary::build(withPreviews(saved->database(), previews), saved->code(),
                                  ownCode);
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
    return replaceFromFile(std::string(bytes), FileHandle());
}

bool CachedLibrary::replaceFromFile(std::string bytes, FileHandle file) {
    const auto identity = identityOf(file);
    // Compile outside the lock: pages go on being served from the previous revision meanwhile.
    auto compiled = compile(std::move(bytes), std::move(file));
    if (!compiled) {
        return false;
    }
    // A change notice is a link to the library file it announces; an index is only worth
    // writing while that is still the library's file.
    struct stat now {};
    if (identity && keepIndex_ && ::stat((container_ / kDatabaseFileName).c_str(), &now) == 0 &&
        LibraryFileIdentity::of(now) == *identity) {
        index_.keep(compiled, *identity);
    }
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
