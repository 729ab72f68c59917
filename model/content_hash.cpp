#include "model/content_hash.h"

#include <string_view>

namespace orlavine {
namespace {

// 64-bit FNV-1a over length-prefixed fields, so that ("ab","c") and ("a","bc") differ.
class Hasher {
  public:
    void bytes(std::string_view data) {
        for (const char c : data) {
            state_ ^= static_cast<unsigned char>(c);
            state_ *= kPrime;
        }
    }
    void number(std::uint64_t n) {
        for (int i = 0; i < 8; ++i) {
            state_ ^= (n >> (i * 8)) & 0xffu;
            state_ *= kPrime;
        }
    }
    void text(std::string_view s) {
        number(s.size());
        bytes(s);
    }
    void optText(const std::optional<std::string>& s) {
        number(s ? 1 : 0);
        if (s) {
            text(*s);
        }
    }
    void list(const std::vector<std::string>& items) {
        number(items.size());
        for (const std::string& s : items) {
            text(s);
        }
    }
    std::uint64_t value() const { return state_; }

  private:
    static constexpr std::uint64_t kPrime = 0x100000001b3ULL;
    std::uint64_t state_ = 0xcbf29ce484222325ULL;
};

}  // namespace

std::uint64_t contentHash(const styleJSON& record) {
    Hasher h;
    h.text(record.url);
    h.text(record.updateUrl);
    h.text(record.name);
    h.number(record.sections.size());
    for (const styleSection& s : record.sections) {
        h.list(s.urls);
        h.list(s.urlPrefixes);
        h.list(s.domains);
        h.list(s.regexps);
        h.text(s.code);
        h.optText(s.compiledcode);
        h.optText(s.sectionName);
    }
    h.text(record.md5Url);
    h.text(record.originalMd5);
    return h.value();
}

}  // namespace orlavine
