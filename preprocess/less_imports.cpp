#include "preprocess/less_imports.h"

#include <curl/curl.h>

#include <cstdint>
#include <system_error>
#include <utility>

#include "model/atomic_file.h"

namespace orlavine {
namespace {

constexpr std::size_t kMaxImportBytes = std::size_t{8} << 20;
constexpr long kConnectTimeoutSeconds = 10;
constexpr long kTotalTimeoutSeconds = 30;
constexpr long kMaxRedirects = 5;

bool isWebAddress(const std::string& url) {
    return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* target) {
    auto* body = static_cast<std::string*>(target);
    const std::size_t bytes = size * count;
    if (body->size() + bytes > kMaxImportBytes) {
        return 0;  // stops the transfer
    }
    body->append(data, bytes);
    return bytes;
}

std::optional<std::string> download(const std::string& url) {
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        return std::nullopt;
    }
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTotalTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxImportBytes));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    const CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    if (result != CURLE_OK || status != 200) {
        return std::nullopt;
    }
    return body;
}

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

CachedHttpImports::CachedHttpImports(std::filesystem::path cacheDirectory)
    : directory_(std::move(cacheDirectory)) {}

std::filesystem::path CachedHttpImports::cacheFile(const std::string& url) const {
    return directory_ / (addressKey(url) + ".less");
}

std::optional<std::string> CachedHttpImports::fetch(const std::string& url) {
    if (!isWebAddress(url)) {
        return std::nullopt;
    }
    const auto file = cacheFile(url);
    if (auto fresh = download(url)) {
        std::error_code error;
        std::filesystem::create_directories(directory_, error);
        // A copy that cannot be kept only costs the offline compile.
        (void)writeFileAtomically(file, *fresh);
        return fresh;
    }
    auto kept = readWholeFile(file, kMaxImportBytes);
    if (!kept) {
        return std::nullopt;
    }
    return std::move(*kept);
}

}  // namespace orlavine
