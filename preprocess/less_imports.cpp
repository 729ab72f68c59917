#include "preprocess/less_imports.h"

#include <cstdint>
#include <system_error>
#include <utility>

#include "model/atomic_file.h"

namespace orlavine {
namespace {

constexpr std::size_t kMaxImportBytes = std::size_t{8} << 20;

// FNV-1a of the address: the cache file's name.
std::string addressKey(const std::string& url) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : url) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string key(16, '0');
    for (int i = 15; i >= 0; --i) {
        key[static_cast<std::size_t>(i)] = kDigits[hash & 0xFu];
        hash >>= 4;
    }
    return key;
}

}  // namespace

CachedHttpImports::CachedHttpImports(std::filesystem::path cacheDirectory, Downloader& downloader)
    : directory_(std::move(cacheDirectory)), downloader_(downloader) {}

std::filesystem::path CachedHttpImports::cacheFile(const std::string& url) const {
    return directory_ / (addressKey(url) + ".less");
}

std::optional<std::string> CachedHttpImports::fetch(const std::string& url) {
    if (!checkWebAddress(url, downloader_.options().limits)) {
        return std::nullopt;
    }
    const auto file = cacheFile(url);
    if (auto fresh = downloader_.fetch(url); fresh && fresh->size() <= kMaxImportBytes) {
        std::error_code error;
        std::filesystem::create_directories(directory_, error);
        // A copy that cannot be kept only costs the offline compile.
        (void)writeFileAtomically(file, *fresh);
        return std::move(*fresh);
    }
    auto kept = readWholeFile(file, kMaxImportBytes);
    if (!kept) {
        return std::nullopt;
    }
    return std::move(*kept);
}

}  // namespace orlavine
