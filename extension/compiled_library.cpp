#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <unordered_set>

#include "extension/library_code.h"
#include "extension/page_address.h"
#include "extension/page_css.h"
#include "extension/regex_candidates.h"
#include "extension/rule_index.h"
#include "extension/section_emptiness.h"
#include "extension/style_rules.h"

namespace orlavine {

namespace {

// An exclusion pattern of the library, compiled once.
struct ExclusionRegex {
    RuleRegex regex;
    PatternLiterals literals;
};

struct StyleEntry {
    const styleContainer* style = nullptr;
    bool allowsFrames = false;
    std::string_view opening;
    std::vector<std::string_view> excludedAddresses;
    std::vector<std::string> excludedDomains;  // lower-cased
    std::vector<std::string_view> excludedPrefixes;
    std::vector<std::uint32_t> excludedPatterns;  // into exclusionRegexes
};

constexpr std::uint32_t kInRecord = UINT32_MAX;

struct SectionEntry {
    std::uint32_t style = 0;          // into styles
    std::uint32_t place = kInRecord;  // of the text in the library's code, else:
    std::string_view text;            // the text, from the records
};

// Holds a scratch lease from the first regular expression a request runs until its end.
class LazyScratch {
  public:
    explicit LazyScratch(ScratchPool& pool) : pool_(pool) {}
    MatchScratch& get() {
        if (!lease_) {
            lease_.emplace(pool_);
        }
        return **lease_;
    }

  private:
    ScratchPool& pool_;
    std::optional<ScratchPool::Lease> lease_;
};

}  // namespace

struct CompiledLibrary::Impl {
    styleDatabase db;
    std::shared_ptr<const LibraryCode> code;
    std::unordered_set<std::int64_t> ownCode;  // styles whose records hold their code
    // Enabled styles that have at least one section to inject, in library order; their
    // non-empty sections numbered in output order.
    std::vector<StyleEntry> styles;
    std::vector<SectionEntry> sections;
    std::vector<std::uint32_t> everyPage;  // sections without rules
    ExactIndex addresses;
    PrefixIndex prefixes;
    PrefixIndex reversedDomains;  // lower-cased rules, reversed: a suffix becomes a prefix
    RegexCandidates patterns;
    std::vector<ExclusionRegex> exclusionRegexes;
    mutable ScratchPool scratchPool;

    void compile();
    std::string_view text(const SectionEntry& section) const {
        return section.place == kInRecord ? section.text : code->text(section.place);
    }
    std::vector<std::uint32_t> matchingSections(const PageAddress& address, bool isFrame,
                                                LazyScratch& scratch) const;
    bool excluded(const StyleEntry& style, const PageAddress& address, LazyScratch& scratch) const;
};

namespace {

std::string reversed(std::string text) {
    std::reverse(text.begin(), text.end());
    return text;
}

}  // namespace

void CompiledLibrary::Impl::compile() {
    std::map<std::string_view, std::uint32_t> exclusionIndex;
    std::map<std::string_view, std::size_t> patternIndex;
    std::vector<SectionRegex> sectionRegexes;

    for (const styleContainer& style : db.styles) {
        if (!style.isEnabled) {
            continue;
        }
        const auto styleNumber = static_cast<std::uint32_t>(styles.size());
        const bool codeStored = code && !ownCode.contains(style.uniqueID);
        bool anySection = false;
        for (const styleSection& section : sectionsToInject(style)) {
            SectionEntry text{styleNumber, kInRecord, sectionText(section)};
            if (codeStored) {
                const auto place = LibraryOutline::placeOf(text.text);
                if (!place || code->isEmpty(*place)) {
                    continue;
                }
                text = SectionEntry{styleNumber, static_cast<std::uint32_t>(*place), {}};
            } else if (isEmptySectionText(text.text)) {
                continue;
            }
            anySection = true;
            const auto number = static_cast<std::uint32_t>(sections.size());
            sections.push_back(text);
            if (!sectionHasRules(section)) {
                everyPage.push_back(number);
                continue;
            }
            for (const std::string& rule : section.urls) {
                addresses.add(rule, number);
                addresses.add(rule + "/", number);
            }
            for (const std::string& rule : section.domains) {
                reversedDomains.add(reversed(lowerAscii(rule)), number);
            }
            for (const std::string& rule : section.urlPrefixes) {
                prefixes.add(rule, number);
            }
            for (const std::string& rule : section.regexps) {
                auto [at, added] = patternIndex.try_emplace(rule, sectionRegexes.size());
                if (added) {
                    auto regex = RuleRegex::compile(rule, RegexUse::wholeText);
                    if (!regex) {
                        at->second = SIZE_MAX;  // invalid: never matches
                        continue;
                    }
                    sectionRegexes.push_back(
                        SectionRegex{std::move(*regex), patternLiterals(rule), {}, false});
                }
                if (at->second != SIZE_MAX) {
                    SectionRegex& entry = sectionRegexes[at->second];
                    if (entry.sections.empty() || entry.sections.back() != number) {
                        entry.sections.push_back(number);
                    }
                    entry.anyStyleAllowsFrames =
                        entry.anyStyleAllowsFrames || style.allowIframe.value_or(false);
                }
            }
        }
        if (!anySection) {
            continue;
        }
        StyleEntry entry;
        entry.style = &style;
        entry.allowsFrames = style.allowIframe.value_or(false);
        entry.opening = appearanceOpening(style);
        if (style.exclURL) {
            entry.excludedAddresses.assign(style.exclURL->begin(), style.exclURL->end());
        }
        if (style.exclDomain) {
            for (const std::string& rule : *style.exclDomain) {
                entry.excludedDomains.push_back(lowerAscii(rule));
            }
        }
        if (style.exclPrefix) {
            entry.excludedPrefixes.assign(style.exclPrefix->begin(), style.exclPrefix->end());
        }
        if (style.exclRegExp) {
            for (const std::string& rule : *style.exclRegExp) {
                auto [at, added] = exclusionIndex.try_emplace(rule, UINT32_MAX);
                if (added) {
                    if (auto regex = RuleRegex::compile(rule, RegexUse::anywhere)) {
                        at->second = static_cast<std::uint32_t>(exclusionRegexes.size());
                        exclusionRegexes.push_back(
                            ExclusionRegex{std::move(*regex), patternLiterals(rule)});
                    }
                }
                if (at->second != UINT32_MAX) {
                    entry.excludedPatterns.push_back(at->second);
                }
            }
        }
        styles.push_back(std::move(entry));
    }
    addresses.finish();
    prefixes.finish();
    reversedDomains.finish();
    patterns = RegexCandidates(std::move(sectionRegexes));
}

bool CompiledLibrary::Impl::excluded(const StyleEntry& style, const PageAddress& address,
                                     LazyScratch& scratch) const {
    for (std::string_view rule : style.excludedAddresses) {
        if (address.text == rule) {
            return true;
        }
    }
    if (address.host) {
        for (const std::string& rule : style.excludedDomains) {
            if (address.host->ends_with(rule)) {
                return true;
            }
        }
    }
    for (std::string_view rule : style.excludedPrefixes) {
        if (address.text.starts_with(rule)) {
            return true;
        }
    }
    const std::string_view subject = address.matchText();
    for (std::uint32_t index : style.excludedPatterns) {
        const ExclusionRegex& rule = exclusionRegexes[index];
        if (literalsAllowMatchWithin(rule.literals, subject) &&
            rule.regex.matches(subject, scratch.get())) {
            return true;
        }
    }
    return false;
}

std::vector<std::uint32_t> CompiledLibrary::Impl::matchingSections(const PageAddress& address,
                                                                   bool isFrame,
                                                                   LazyScratch& scratch) const {
    std::vector<std::uint32_t> found;
    addresses.collect(address.text, found);
    prefixes.collect(address.text, found);
    if (address.host) {
        reversedDomains.collect(reversed(*address.host), found);
    }
    std::vector<std::uint32_t> candidates;
    patterns.collect(address.matchTextWithSlash(), candidates);
    for (std::uint32_t index : candidates) {
        const SectionRegex& rule = patterns[index];
        if (isFrame && !rule.anyStyleAllowsFrames) {
            continue;
        }
        if (!literalsAllowWholeMatch(rule.literals, address.matchTextWithSlash())) {
            continue;
        }
        if (rule.regex.matches(address.matchText(), scratch.get()) ||
            rule.regex.matches(address.matchTextWithSlash(), scratch.get())) {
            found.insert(found.end(), rule.sections.begin(), rule.sections.end());
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    std::vector<std::uint32_t> ordered;
    ordered.reserve(found.size() + everyPage.size());
    std::merge(found.begin(), found.end(), everyPage.begin(), everyPage.end(),
               std::back_inserter(ordered));
    return ordered;
}

CompiledLibrary::CompiledLibrary(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

CompiledLibrary::~CompiledLibrary() = default;

std::shared_ptr<const CompiledLibrary> CompiledLibrary::build(styleDatabase db) {
    return build(std::move(db), nullptr, {});
}

std::shared_ptr<const CompiledLibrary> CompiledLibrary::build(
    styleDatabase db, std::shared_ptr<const LibraryCode> code,
    const std::vector<std::int64_t>& ownCode) {
    auto impl = std::make_unique<Impl>();
    impl->db = std::move(db);
    impl->code = std::move(code);
    impl->ownCode.insert(ownCode.begin(), ownCode.end());
    impl->compile();
    return std::shared_ptr<const CompiledLibrary>(new CompiledLibrary(std::move(impl)));
}

const styleDatabase& CompiledLibrary::database() const {
    return impl_->db;
}

const std::shared_ptr<const LibraryCode>& CompiledLibrary::code() const {
    return impl_->code;
}

std::string CompiledLibrary::pageCSS(std::string_view address, bool isFrame) const {
    const PageAddress page = readPageAddress(address);
    LazyScratch scratch(impl_->scratchPool);
    const std::vector<std::uint32_t> matching = impl_->matchingSections(page, isFrame, scratch);

    std::vector<std::pair<std::uint32_t, std::string_view>> chosen;
    std::size_t length = 0;
    std::size_t currentStyle = SIZE_MAX;
    bool styleApplies = false;
    for (std::uint32_t number : matching) {
        const SectionEntry& section = impl_->sections[number];
        const StyleEntry& style = impl_->styles[section.style];
        if (section.style != currentStyle) {
            currentStyle = section.style;
            styleApplies =
                (!isFrame || style.allowsFrames) && !impl_->excluded(style, page, scratch);
        }
        if (styleApplies) {
            const std::string_view text = impl_->text(section);
            if (text.empty()) {
                continue;  // code in the file that could not be read back
            }
            chosen.emplace_back(section.style, text);
            length += text.size() + 2 * style.opening.size() + 2;
        }
    }
    std::string css;
    css.reserve(length);
    for (const auto& [style, text] : chosen) {
        appendSection(css, impl_->styles[style].opening, text);
    }
    return css;
}

std::vector<styleKeys> CompiledLibrary::activeStyles(std::string_view address) const {
    const PageAddress page = readPageAddress(address);
    LazyScratch scratch(impl_->scratchPool);
    std::vector<styleKeys> keys;
    std::size_t currentStyle = SIZE_MAX;
    for (std::uint32_t number : impl_->matchingSections(page, false, scratch)) {
        const std::uint32_t styleNumber = impl_->sections[number].style;
        if (styleNumber == currentStyle) {
            continue;
        }
        currentStyle = styleNumber;
        const StyleEntry& style = impl_->styles[styleNumber];
        if (!impl_->excluded(style, page, scratch)) {
            keys.push_back(styleKeys{style.style->styleData.name, style.style->uniqueID});
        }
    }
    return keys;
}

}  // namespace orlavine
