#pragma once
// Regular expressions of style rules, read the way browsers read them (PCRE2 with the
// JavaScript-like options), JIT-compiled where possible and bounded in work per match so no rule
// can stall a page: a match that runs out of steps, depth, heap or JIT stack counts as no match.

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;
struct pcre2_real_match_context_8;
struct pcre2_real_jit_stack_8;

namespace orlavine {

// Patterns longer than this are never compiled and never match.
inline constexpr std::size_t kMaxRulePatternBytes = 64 * 1024;
// Work allowed for one match attempt.
inline constexpr unsigned kRegexMatchLimit = 100'000;
inline constexpr unsigned kRegexDepthLimit = 10'000;
inline constexpr unsigned kRegexHeapLimitKiB = 2048;
inline constexpr std::size_t kRegexJitStackBytes = 1024 * 1024;

// Per-thread working memory of matching: match data, limits and a JIT stack. Not shared.
class MatchScratch {
  public:
    MatchScratch();
    ~MatchScratch();
    MatchScratch(const MatchScratch&) = delete;
    MatchScratch& operator=(const MatchScratch&) = delete;

    pcre2_real_match_data_8* data() const { return data_; }
    pcre2_real_match_context_8* context() const { return context_; }

  private:
    pcre2_real_match_data_8* data_;
    pcre2_real_match_context_8* context_;
    pcre2_real_jit_stack_8* jitStack_;
};

// Keeps a few MatchScratch objects for reuse by concurrent callers.
class ScratchPool {
  public:
    // Takes a kept scratch, or makes a new one; gives it back at the end.
    class Lease {
      public:
        explicit Lease(ScratchPool& pool);
        ~Lease();
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        MatchScratch& operator*() const { return *scratch_; }

      private:
        ScratchPool& pool_;
        std::unique_ptr<MatchScratch> scratch_;
    };

  private:
    static constexpr std::size_t kKept = 8;
    std::mutex mutex_;
    std::vector<std::unique_ptr<MatchScratch>> free_;
};

enum class RegexUse {
    // The first match must cover the whole text (section rules).
    wholeText,
    // Any match anywhere in the text (exclusions).
    anywhere,
};

// Why `pattern` cannot be a rule's expression (PCRE2's message and the offset of the fault),
// or nothing when it can.
std::optional<std::string> ruleRegexError(std::string_view pattern);

class RuleRegex {
  public:
    // Absent when the pattern is invalid or longer than kMaxRulePatternBytes. Without jit the
    // pattern is only interpreted (cheaper to compile when it is used once).
    static std::optional<RuleRegex> compile(std::string_view pattern, RegexUse use,
                                            bool jit = true);

    RuleRegex(RuleRegex&& other) noexcept;
    RuleRegex& operator=(RuleRegex&& other) noexcept;
    ~RuleRegex();

    // Bytes of the text that are not well-formed UTF-8 read as U+FFFD.
    bool matches(std::string_view text, MatchScratch& scratch) const;

  private:
    enum class Form {
        // Compiled anchored; the match found at the start must end at the end of the text.
        anchoredWhole,
        // Compiled as "[\s\S]*?(?:pattern)" anchored: one bounded attempt covers every start
        // position, where a plain search would get a fresh step budget at each of them.
        anchoredSearch,
        // A plain search, for the few patterns that cannot be wrapped that way.
        plainSearch,
    };
    RuleRegex(pcre2_real_code_8* code, Form form) : code_(code), form_(form) {}

    pcre2_real_code_8* code_;
    Form form_;
};

}  // namespace orlavine
