#pragma once
// The distinct regular expressions of a library's section rules, compiled once, with an index
// that narrows them down to the few worth running for an address.

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "extension/regex_literals.h"
#include "extension/rule_regex.h"

namespace orlavine {

struct SectionRegex {
    RuleRegex regex;
    PatternLiterals literals;
    std::vector<std::uint32_t> sections;  // the sections whose rules hold this pattern
    bool anyStyleAllowsFrames = false;
};

class RegexCandidates {
  public:
    RegexCandidates() = default;
    explicit RegexCandidates(std::vector<SectionRegex> regexes);

    const SectionRegex& operator[](std::uint32_t index) const { return regexes_[index]; }
    std::size_t size() const { return regexes_.size(); }

    // Appends, in increasing order and once each, the regexes that may match the whole of
    // subject: those with no literal to index by, and those whose chosen four-byte piece of
    // literal text occurs in subject. The literal test of each is still to be made.
    void collect(std::string_view subject, std::vector<std::uint32_t>& out) const;

  private:
    static constexpr unsigned kFilterBits = 16;

    std::vector<SectionRegex> regexes_;
    std::unordered_map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> byPiece_;
    std::vector<std::uint32_t> pieceMembers_;
    std::vector<std::uint32_t> unindexed_;
    // A bit per hash of the indexed pieces, to skip most positions without a map lookup.
    std::vector<std::uint64_t> filter_;
};

}  // namespace orlavine
