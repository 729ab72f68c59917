#pragma once
// Literal text that every match of a rule's pattern must contain, found without running the
// pattern, so most patterns can be ruled out for an address by a plain substring test.
//
// The reading is conservative: for any construct it does not fully understand (alternation at
// the top level, inline options, verbs, \Q, escapes with arguments, ...) it reports nothing,
// which only means "run the pattern".

#include <string>
#include <string_view>
#include <vector>

namespace orlavine {

struct PatternLiterals {
    // Every match begins with this text (empty when nothing is known).
    std::string leading;
    // Every match contains each of these texts.
    std::vector<std::string> required;
};

PatternLiterals patternLiterals(std::string_view pattern);

}  // namespace orlavine

namespace orlavine {

// Whether a pattern with these literals could match the whole of a subject: the subject starts
// with the leading text and contains every required text.
bool literalsAllowWholeMatch(const PatternLiterals& literals, std::string_view subject);

// Whether a pattern with these literals could match somewhere in a subject.
bool literalsAllowMatchWithin(const PatternLiterals& literals, std::string_view subject);

}  // namespace orlavine
