#pragma once
// The per-style and per-rule decisions of page CSS assembly, shared by the compiled library and
// the uncached assembly.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/records.h"

namespace orlavine {

// The sections whose code a style injects: a Less or Stylus style's compiled sections when it
// has them, else its source sections.
const std::vector<styleSection>& sectionsToInject(const styleContainer& style);

// The text a section injects: its compiled code when present, else its code.
std::string_view sectionText(const styleSection& section);

bool sectionHasRules(const styleSection& section);

// The line that opens a style's appearance wrapper ("" when the style applies in any
// appearance). Every browser served reads the prefers-color-scheme media query.
std::string_view appearanceOpening(const styleContainer& style);

// Appends one section: opening line, text, the closing brace when opened, a line feed.
void appendSection(std::string& out, std::string_view opening, std::string_view text);

// A "URL is" section rule: the address equals the rule, or the rule followed by "/".
bool urlRuleMatches(std::string_view rule, std::string_view address);

// A domain rule: the page has a host, and the lower-cased host ends with the lower-cased rule.
bool domainRuleMatches(std::string_view rule, const std::optional<std::string>& lowerHost);

}  // namespace orlavine
