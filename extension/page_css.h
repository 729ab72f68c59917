#pragma once
// Page CSS assembly: which styles of the library apply to a page or frame address, and the one
// CSS text that the page script injects there.
//
// A CompiledLibrary is built once per database revision and is then read-only: every regular
// expression is compiled, every section's emptiness and text decided, and the rules are indexed
// so that assembling a page costs little more than the styles that actually apply. One instance
// may serve any number of threads at once.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/records.h"

namespace orlavine {

class LibraryCode;

// One style acting on a page, as the popup lists it.
struct styleKeys {
    std::string name;     // the style's display name
    std::int64_t id = 0;  // its uniqueID

    bool operator==(const styleKeys&) const = default;
};

class CompiledLibrary {
  public:
    // Never fails: an invalid or oversized regular expression simply matches nothing.
    static std::shared_ptr<const CompiledLibrary> build(styleDatabase db);
    // A library read as an outline: the sections' code fields hold places in `code`, but for the
    // styles whose uniqueIDs are in `ownCode` (shown over it, with their code in the records).
    static std::shared_ptr<const CompiledLibrary> build(styleDatabase db,
                                                        std::shared_ptr<const LibraryCode> code,
                                                        const std::vector<std::int64_t>& ownCode);

    ~CompiledLibrary();
    CompiledLibrary(const CompiledLibrary&) = delete;
    CompiledLibrary& operator=(const CompiledLibrary&) = delete;

    const styleDatabase& database() const;
    // Where the code of database() is when it was read as an outline, else null.
    const std::shared_ptr<const LibraryCode>& code() const;

    // The CSS for a page (isFrame false) or a frame inside one. The address is the browser's URL
    // text; one that does not parse as a URL has no host, so domain rules cannot match it, but
    // the other rules still compare against its text.
    std::string pageCSS(std::string_view address, bool isFrame) const;

    // The styles with at least one section that applies to the address as a top-level page, in
    // library order, each once.
    std::vector<styleKeys> activeStyles(std::string_view address) const;

    struct Impl;

  private:
    explicit CompiledLibrary(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The extension's switch for all styles ("enableStyles") comes from the caller's settings.
std::string assemblePageCSS(const CompiledLibrary& library, std::string_view address, bool isFrame,
                            bool enableStyles);
std::vector<styleKeys> activeStyleKeys(const CompiledLibrary& library, std::string_view address,
                                       bool enableStyles);

}  // namespace orlavine
