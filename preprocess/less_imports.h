#pragma once
// Less libraries that styles import from an address ("@import 'https://...';"): fetched with the
// shared downloader and kept in a cache folder, so that a style that compiled once compiles
// again offline.

#include <filesystem>
#include <optional>
#include <string>

#include "net/web_download.h"

namespace orlavine {

class LessImportSource {
  public:
    virtual ~LessImportSource() = default;
    // The text at `url`, or nothing when it cannot be had.
    virtual std::optional<std::string> fetch(const std::string& url) = 0;
};

class CachedHttpImports : public LessImportSource {
  public:
    // `cacheDirectory` is made when the first import is kept.
    CachedHttpImports(std::filesystem::path cacheDirectory, Downloader& downloader);
    // A fresh copy from the network when it answers 200, else the kept copy, else nothing.
    std::optional<std::string> fetch(const std::string& url) override;

  private:
    std::filesystem::path cacheFile(const std::string& url) const;
    std::filesystem::path directory_;
    Downloader& downloader_;
};

}  // namespace orlavine
