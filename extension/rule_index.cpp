#include "extension/rule_index.h"

#include <algorithm>

namespace orlavine {

namespace {

// Orders (key, value) pairs and calls emit(key, begin, end) once per distinct key, with the
// range of its values in the returned list.
template <class Emit>
std::vector<std::uint32_t> groupByKey(std::vector<std::pair<std::string, std::uint32_t>>& pairs,
                                      Emit emit) {
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    std::vector<std::uint32_t> values;
    values.reserve(pairs.size());
    std::size_t i = 0;
    while (i < pairs.size()) {
        const auto begin = static_cast<std::uint32_t>(values.size());
        std::size_t j = i;
        while (j < pairs.size() && pairs[j].first == pairs[i].first) {
            values.push_back(pairs[j].second);
            ++j;
        }
        emit(std::move(pairs[i].first), begin, static_cast<std::uint32_t>(values.size()));
        i = j;
    }
    pairs.clear();
    pairs.shrink_to_fit();
    return values;
}

constexpr std::uint64_t kFnvBasis = 0xcbf29ce484222325ULL;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;

std::uint64_t step(std::uint64_t hash, char c) {
    return (hash ^ static_cast<unsigned char>(c)) * kFnvPrime;
}

// Mixes the length in, so keys of different lengths rarely share a bucket.
std::uint64_t finishHash(std::uint64_t hash, std::size_t length) {
    std::uint64_t x = hash + 0x9e3779b97f4a7c15ULL * (length + 1);
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

std::uint64_t hashOf(std::string_view text) {
    std::uint64_t hash = kFnvBasis;
    for (char c : text) {
        hash = step(hash, c);
    }
    return finishHash(hash, text.size());
}

}  // namespace

void ExactIndex::add(std::string key, std::uint32_t value) {
    pending_.emplace_back(std::move(key), value);
}

void ExactIndex::finish() {
    values_ = groupByKey(pending_, [&](std::string key, std::uint32_t begin, std::uint32_t end) {
        ranges_.emplace(std::move(key), std::make_pair(begin, end));
    });
}

void ExactIndex::collect(std::string_view key, std::vector<std::uint32_t>& out) const {
    const auto found = ranges_.find(key);
    if (found != ranges_.end()) {
        out.insert(out.end(), values_.begin() + found->second.first,
                   values_.begin() + found->second.second);
    }
}

void PrefixIndex::add(std::string key, std::uint32_t value) {
    pending_.emplace_back(std::move(key), value);
}

void PrefixIndex::finish() {
    values_ = groupByKey(pending_, [&](std::string key, std::uint32_t begin, std::uint32_t end) {
        if (isKeyLength_.size() <= key.size()) {
            isKeyLength_.resize(key.size() + 1, false);
        }
        isKeyLength_[key.size()] = true;
        keys_.push_back(Key{std::move(key), 0, begin, end});
    });
    for (Key& key : keys_) {
        key.hash = hashOf(key.text);
    }
    std::sort(keys_.begin(), keys_.end(),
              [](const Key& a, const Key& b) { return a.hash < b.hash; });
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        firstKeyOfHash_.try_emplace(keys_[i].hash, static_cast<std::uint32_t>(i));
    }
}

void PrefixIndex::collect(std::string_view text, std::vector<std::uint32_t>& out) const {
    const std::size_t longest = std::min(text.size() + 1, isKeyLength_.size());
    std::uint64_t hash = kFnvBasis;
    for (std::size_t length = 0; length < longest; ++length) {
        if (length > 0) {
            hash = step(hash, text[length - 1]);
        }
        if (!isKeyLength_[length]) {
            continue;
        }
        const std::uint64_t full = finishHash(hash, length);
        const auto found = firstKeyOfHash_.find(full);
        if (found == firstKeyOfHash_.end()) {
            continue;
        }
        const std::string_view prefix = text.substr(0, length);
        for (std::size_t k = found->second; k < keys_.size() && keys_[k].hash == full; ++k) {
            if (keys_[k].text == prefix) {
                out.insert(out.end(), values_.begin() + keys_[k].begin,
                           values_.begin() + keys_[k].end);
            }
        }
    }
}

}  // namespace orlavine
