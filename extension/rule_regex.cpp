#include "extension/rule_regex.h"

#include "text/text.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <array>
#include <new>
#include <string>
#include <utility>

namespace orlavine {

namespace {

// Close to how browsers read a pattern without flags: \u and \x escapes, [] and [^], a
// reference to an unset group matching the empty string, "$" only at the very end, and no \C.
// Invalid UTF-8 in a subject does not fail the whole match.
constexpr uint32_t kCompileOptions = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_ALT_BSUX |
                                     PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF |
                                     PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_BACKSLASH_C;

pcre2_code* compileCode(std::string_view pattern, uint32_t options) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    return pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                         kCompileOptions | options, &error, &offset, nullptr);
}

}  // namespace

std::optional<std::string> ruleRegexError(std::string_view pattern) {
    if (pattern.size() > kMaxRulePatternBytes) {
        return "the expression is longer than " + std::to_string(kMaxRulePatternBytes) + " bytes";
    }
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     kCompileOptions, &error, &offset, nullptr);
    if (code != nullptr) {
        pcre2_code_free(code);
        return std::nullopt;
    }
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(error, message, sizeof message);
    return std::string(reinterpret_cast<const char*>(message)) + " at offset " +
           std::to_string(offset);
}

namespace {

uint32_t captureCount(const pcre2_code* code) {
    uint32_t count = 0;
    pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &count);
    return count;
}

// Whole-pattern recursion would refer to the wrapper, not to the rule.
bool refersToWholePattern(std::string_view pattern) {
    constexpr std::array<std::string_view, 4> kForms = {"(?R", "(?0", "\\g<0", "\\g'0"};
    for (std::string_view form : kForms) {
        if (pattern.find(form) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

MatchScratch::MatchScratch()
    : data_(pcre2_match_data_create(1, nullptr)),
      context_(pcre2_match_context_create(nullptr)),
      jitStack_(pcre2_jit_stack_create(32 * 1024, kRegexJitStackBytes, nullptr)) {
    if (data_ == nullptr || context_ == nullptr) {
        throw std::bad_alloc();
    }
    pcre2_set_match_limit(context_, kRegexMatchLimit);
    pcre2_set_depth_limit(context_, kRegexDepthLimit);
    pcre2_set_heap_limit(context_, kRegexHeapLimitKiB);
    if (jitStack_ != nullptr) {
        pcre2_jit_stack_assign(context_, nullptr, jitStack_);
    }
}

MatchScratch::~MatchScratch() {
    pcre2_jit_stack_free(jitStack_);
    pcre2_match_context_free(context_);
    pcre2_match_data_free(data_);
}

ScratchPool::Lease::Lease(ScratchPool& pool) : pool_(pool) {
    {
        std::lock_guard lock(pool_.mutex_);
        if (!pool_.free_.empty()) {
            scratch_ = std::move(pool_.free_.back());
            pool_.free_.pop_back();
            return;
        }
    }
    scratch_ = std::make_unique<MatchScratch>();
}

ScratchPool::Lease::~Lease() {
    std::lock_guard lock(pool_.mutex_);
    if (pool_.free_.size() < kKept) {
        pool_.free_.push_back(std::move(scratch_));
    }
}

std::optional<RuleRegex> RuleRegex::compile(std::string_view pattern, RegexUse use, bool jit) {
    if (pattern.size() > kMaxRulePatternBytes) {
        return std::nullopt;
    }
    pcre2_code* code = nullptr;
    Form form = Form::anchoredWhole;
    if (use == RegexUse::wholeText) {
        code = compileCode(pattern, PCRE2_ANCHORED);
    } else {
        // The pattern must be valid on its own before it is wrapped: "a)(b" is not, but
        // "(?:a)(b)" would be.
        code = compileCode(pattern, 0);
        form = Form::plainSearch;
        if (code != nullptr && !refersToWholePattern(pattern)) {
            std::string wrapped = "[\\s\\S]*?(?:";
            wrapped.append(pattern);
            wrapped += ')';
            pcre2_code* search = compileCode(wrapped, PCRE2_ANCHORED);
            if (search != nullptr && captureCount(search) == captureCount(code)) {
                pcre2_code_free(code);
                code = search;
                form = Form::anchoredSearch;
            } else {
                pcre2_code_free(search);
            }
        }
    }
    if (code == nullptr) {
        return std::nullopt;
    }
    if (jit) {
        pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);  // the interpreter runs it if this fails
    }
    return RuleRegex(code, form);
}

RuleRegex::RuleRegex(RuleRegex&& other) noexcept
    : code_(std::exchange(other.code_, nullptr)), form_(other.form_) {}

RuleRegex& RuleRegex::operator=(RuleRegex&& other) noexcept {
    if (this != &other) {
        pcre2_code_free(code_);
        code_ = std::exchange(other.code_, nullptr);
        form_ = other.form_;
    }
    return *this;
}

RuleRegex::~RuleRegex() {
    pcre2_code_free(code_);
}

bool RuleRegex::matches(std::string_view text, MatchScratch& scratch) const {
    if (!text::isValidUtf8(text)) {
        // Matching skips invalid bytes, but "any prefix" of the search form cannot cross them,
        // so such text is read with U+FFFD in their place, as the page assembly reads it.
        return matches(text::replaceInvalidUtf8(text), scratch);
    }
    const int rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0,
                               scratch.data(), scratch.context());
    // 0 means a match with more groups than the one-pair match data holds; pair 0 is filled.
    if (rc < 0) {
        return false;  // no match, or a limit was reached
    }
    if (form_ != Form::anchoredWhole) {
        return true;
    }
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(scratch.data());
    return ovector[0] == 0 && ovector[1] == text.size();
}

}  // namespace orlavine
