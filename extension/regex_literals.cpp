#include "extension/regex_literals.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>

namespace orlavine {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool isAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Length of the UTF-8 sequence that starts with lead (1 for anything unexpected).
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0) {
        return 4;
    }
    if (lead >= 0xE0) {
        return 3;
    }
    if (lead >= 0xC0) {
        return 2;
    }
    return 1;
}

// Constructs anywhere in a pattern that change how the rest reads or end a match early.
bool hasUnreadableConstruct(std::string_view pattern) {
    constexpr std::array<std::string_view, 2> kForms = {"(*", "\\Q"};
    for (std::string_view form : kForms) {
        if (pattern.find(form) != kNone) {
            return true;
        }
    }
    // Groups other than (?: (?= (?! (?<= (?<! (?<name> may set options or be comments.
    for (std::size_t at = pattern.find("(?"); at != kNone; at = pattern.find("(?", at + 2)) {
        const char kind = at + 2 < pattern.size() ? pattern[at + 2] : '\0';
        if (kind != ':' && kind != '=' && kind != '!' && kind != '<') {
            return true;
        }
    }
    return false;
}

// Index just past the character class that opens at start, or kNone.
std::size_t skipClass(std::string_view p, std::size_t start) {
    std::size_t j = start + 1;
    if (j < p.size() && p[j] == '^') {
        ++j;
    }
    if (j < p.size() && p[j] == ']') {
        return j + 1;  // [] and [^] (empty classes allowed)
    }
    while (j < p.size()) {
        const char c = p[j];
        if (c == '\\') {
            j += 2;
        } else if (c == '[' && j + 1 < p.size() &&
                   (p[j + 1] == ':' || p[j + 1] == '.' || p[j + 1] == '=')) {
            return kNone;  // POSIX classes
        } else if (c == ']') {
            return j + 1;
        } else {
            ++j;
        }
    }
    return kNone;
}

// Index just past the group that opens at start, or kNone.
std::size_t skipGroup(std::string_view p, std::size_t start) {
    std::size_t depth = 0;
    std::size_t j = start;
    while (j < p.size()) {
        const char c = p[j];
        if (c == '\\') {
            j += 2;
        } else if (c == '[') {
            j = skipClass(p, j);
            if (j == kNone) {
                return kNone;
            }
        } else if (c == '(') {
            ++depth;
            ++j;
        } else if (c == ')') {
            ++j;
            if (--depth == 0) {
                return j;
            }
        } else {
            ++j;
        }
    }
    return kNone;
}

struct Quantifier {
    std::size_t length = 0;
    bool optional = false;  // may repeat zero times
};

// The quantifier {n}, {n,} or {n,m} at start, if there is one.
std::optional<Quantifier> braceQuantifier(std::string_view p, std::size_t start) {
    std::size_t j = start + 1;
    const std::size_t digits = j;
    bool zero = true;
    while (j < p.size() && isDigit(p[j])) {
        zero = zero && p[j] == '0';
        ++j;
    }
    if (j == digits) {
        return std::nullopt;
    }
    if (j < p.size() && p[j] == ',') {
        ++j;
        while (j < p.size() && isDigit(p[j])) {
            ++j;
        }
    }
    if (j >= p.size() || p[j] != '}') {
        return std::nullopt;
    }
    return Quantifier{j + 1 - start, zero};
}

class Reader {
  public:
    explicit Reader(std::string_view pattern) : p_(pattern) {}

    std::optional<PatternLiterals> read() {
        if (hasUnreadableConstruct(p_)) {
            return std::nullopt;
        }
        std::size_t i = 0;
        if (!p_.empty() && p_[0] == '^') {
            i = 1;  // at the start it is a no-op for what follows
        }
        while (i < p_.size()) {
            const char c = p_[i];
            switch (c) {
                case '\\': {
                    if (i + 1 >= p_.size()) {
                        return std::nullopt;
                    }
                    const char d = p_[i + 1];
                    if (isAsciiAlnum(d)) {
                        constexpr std::string_view kClasses = "dDwWsSnrtfv";
                        if (d == 'b' || d == 'B') {
                            closeRun(Last::anchor);
                        } else if (kClasses.find(d) != kNone) {
                            closeRun(Last::other);
                        } else {
                            return std::nullopt;
                        }
                    } else if (static_cast<unsigned char>(d) < 0x80) {
                        addLiteral(std::string_view(&p_[i + 1], 1));
                    } else {
                        return std::nullopt;
                    }
                    i += 2;
                    break;
                }
                case '.':
                    closeRun(Last::other);
                    ++i;
                    break;
                case '^':
                case '$':
                    closeRun(Last::anchor);
                    ++i;
                    break;
                case '(': {
                    const std::size_t end = skipGroup(p_, i);
                    if (end == kNone) {
                        return std::nullopt;
                    }
                    closeRun(Last::other);
                    i = end;
                    break;
                }
                case '[': {
                    const std::size_t end = skipClass(p_, i);
                    if (end == kNone) {
                        return std::nullopt;
                    }
                    closeRun(Last::other);
                    i = end;
                    break;
                }
                case '*':
                case '?':
                case '+':
                case '{': {
                    std::optional<Quantifier> q;
                    if (c == '{') {
                        q = braceQuantifier(p_, i);
                    } else {
                        q = Quantifier{1, c != '+'};
                    }
                    if (!q || !applyQuantifier(q->optional)) {
                        return std::nullopt;
                    }
                    i += q->length;
                    if (i < p_.size() && (p_[i] == '?' || p_[i] == '+')) {
                        ++i;  // lazy or possessive
                    }
                    break;
                }
                case '|':
                case ')':
                case ']':
                case '}':
                    return std::nullopt;
                default: {
                    const std::size_t length = sequenceLength(static_cast<unsigned char>(c));
                    if (i + length > p_.size()) {
                        return std::nullopt;
                    }
                    addLiteral(p_.substr(i, length));
                    i += length;
                    break;
                }
            }
        }
        closeRun(Last::other);
        return std::move(result_);
    }

  private:
    enum class Last { nothing, literal, anchor, quantified, other };

    void addLiteral(std::string_view character) {
        run_.append(character);
        lastLength_ = character.size();
        last_ = Last::literal;
    }

    void closeRun(Last next) {
        if (!leadingFixed_) {
            result_.leading = run_;
            leadingFixed_ = true;
        }
        if (!run_.empty()) {
            result_.required.push_back(run_);
            run_.clear();
        }
        last_ = next;
    }

    bool applyQuantifier(bool optional) {
        if (last_ == Last::nothing || last_ == Last::anchor || last_ == Last::quantified) {
            return false;
        }
        if (last_ == Last::literal && optional) {
            run_.resize(run_.size() - lastLength_);
        }
        closeRun(Last::quantified);
        return true;
    }

    std::string_view p_;
    PatternLiterals result_;
    std::string run_;
    std::size_t lastLength_ = 0;
    Last last_ = Last::nothing;
    bool leadingFixed_ = false;
};

}  // namespace

PatternLiterals patternLiterals(std::string_view pattern) {
    if (auto literals = Reader(pattern).read()) {
        return std::move(*literals);
    }
    return {};
}

}  // namespace orlavine

namespace orlavine {

bool literalsAllowMatchWithin(const PatternLiterals& literals, std::string_view subject) {
    return std::all_of(literals.required.begin(), literals.required.end(),
                       [&](const std::string& text) { return subject.find(text) != kNone; });
}

bool literalsAllowWholeMatch(const PatternLiterals& literals, std::string_view subject) {
    return subject.starts_with(literals.leading) && literalsAllowMatchWithin(literals, subject);
}

}  // namespace orlavine
