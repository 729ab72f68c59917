#pragma once
// Lookup tables from rule text to the sections that carry the rule.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orlavine {

// Rule text -> values, for rules that must equal the text looked up.
class ExactIndex {
  public:
    void add(std::string key, std::uint32_t value);
    void finish();

    // Appends the values of key (if any) to out.
    void collect(std::string_view key, std::vector<std::uint32_t>& out) const;

  private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    std::vector<std::pair<std::string, std::uint32_t>> pending_;
    std::unordered_map<std::string, std::pair<std::uint32_t, std::uint32_t>, Hash, std::equal_to<>>
        ranges_;
    std::vector<std::uint32_t> values_;
};

// Rule text -> values, for rules that must be a prefix of the text looked up. A lookup costs
// time linear in the shorter of the text and the longest key, whatever the number of keys:
// prefix hashes of the text are computed once and probed only at the key lengths that exist.
class PrefixIndex {
  public:
    void add(std::string key, std::uint32_t value);
    void finish();

    // Appends the values of every key that is a prefix of text to out.
    void collect(std::string_view text, std::vector<std::uint32_t>& out) const;

  private:
    struct Key {
        std::string text;
        std::uint64_t hash = 0;
        std::uint32_t begin = 0;  // its values: values_[begin, end)
        std::uint32_t end = 0;
    };
    std::vector<std::pair<std::string, std::uint32_t>> pending_;
    std::vector<Key> keys_;  // ordered by hash
    std::vector<std::uint32_t> values_;
    std::unordered_map<std::uint64_t, std::uint32_t> firstKeyOfHash_;
    std::vector<bool> isKeyLength_;  // indexed by length, up to the longest key
};

}  // namespace orlavine
