#include "library/style_editor_document.h"

#include <algorithm>
#include <iterator>

#include "text/text.h"

namespace orlavine {
namespace {

std::string titleFor(const styleSection& section, std::size_t index) {
    if (section.sectionName && !text::trimmed(*section.sectionName).empty()) {
        return *section.sectionName;
    }
    return "Section " + std::to_string(index + 1);
}

// A file name part: no folder separators, no control characters.
std::string fileNamePart(std::string_view s) {
    std::string out;
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        out += (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) ? '-' : c;
    }
    return out;
}

}  // namespace

bool opensReadOnly(const styleContainer& style) {
    return style.source == "usorg" || style.source == "usercss";
}

StyleEditorDocument::StyleEditorDocument(styleContainer style, bool readOnly)
    : style_(std::move(style)), readOnly_(readOnly) {
    // A window always shows a section; a style without any gets an empty one to write in.
    if (style_.styleData.sections.empty()) {
        style_.styleData.sections.emplace_back();
    }
}

std::vector<std::string> StyleEditorDocument::pickerTitles() const {
    std::vector<std::string> titles;
    const auto& sections = style_.styleData.sections;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        titles.push_back(titleFor(sections[i], i));
    }
    return titles;
}

void StyleEditorDocument::selectSection(std::size_t index) {
    current_ = std::min(index, style_.styleData.sections.size() - 1);
}

void StyleEditorDocument::previousSection() {
    if (current_ > 0) {
        --current_;
    }
}

void StyleEditorDocument::nextSection() {
    selectSection(current_ + 1);
}

void StyleEditorDocument::setCode(std::string code) {
    styleSection& s = style_.styleData.sections[current_];
    if (readOnly_ || s.code == code) {
        return;
    }
    s.code = std::move(code);
    changed();
}

bool StyleEditorDocument::addSection(const NewSection& sheet) {
    if (readOnly_) {
        return false;
    }
    styleSection added;
    if (sheet.copyRules) {
        const styleSection& from = section();
        added.domains = from.domains;
        added.urls = from.urls;
        added.urlPrefixes = from.urlPrefixes;
        added.regexps = from.regexps;
    } else {
        ruleDictionary rows;
        rows.dictionary.push_back({{"type", sheet.ruleKind}, {"rule", sheet.ruleText}});
        added = rows.applyTo(std::move(added));
    }
    added.sectionName = sheet.name;
    style_.styleData.sections.push_back(std::move(added));
    current_ = style_.styleData.sections.size() - 1;
    changed();
    return true;
}

bool StyleEditorDocument::duplicateSection() {
    if (readOnly_) {
        return false;
    }
    styleSection copy = section();
    style_.styleData.sections.push_back(std::move(copy));
    current_ = style_.styleData.sections.size() - 1;
    changed();
    return true;
}

StyleEditorDocument::DeleteStep StyleEditorDocument::deleteStep() const {
    if (readOnly_) {
        return DeleteStep::refused;
    }
    if (style_.styleData.sections.size() == 1) {
        return DeleteStep::onlySection;
    }
    return text::trimmed(section().code).empty() ? DeleteStep::deleteAtOnce : DeleteStep::askFirst;
}

std::string StyleEditorDocument::deleteQuestion() const {
    return "Are you sure you want to delete " + titleFor(section(), current_) + "?";
}

void StyleEditorDocument::deleteCurrentSection() {
    auto& sections = style_.styleData.sections;
    if (readOnly_ || sections.size() <= 1) {
        return;
    }
    sections.erase(sections.begin() + static_cast<std::ptrdiff_t>(current_));
    current_ = current_ == 0 ? 0 : current_ - 1;
    changed();
}

std::string StyleEditorDocument::exportFileName() const {
    std::string name = fileNamePart(style_.styleData.name);
    const auto& sectionName = section().sectionName;
    if (sectionName && !text::trimmed(*sectionName).empty()) {
        name += " - " + fileNamePart(*sectionName);
    }
    return name + ".css";
}

StyleEditorDocument::Metadata StyleEditorDocument::metadata() const {
    Metadata m{style_.author,     style_.version,     style_.license,
               style_.namespace_, style_.description, 0};
    for (std::size_t i = 0; i < std::size(kPreprocessorMenu); ++i) {
        if (style_.preprocessor == kPreprocessorMenu[i]) {
            m.preprocessor = i;
        }
    }
    return m;
}

bool StyleEditorDocument::setMetadata(const Metadata& sheet) {
    if (readOnly_) {
        return false;
    }
    style_.author = sheet.author;
    style_.version = sheet.version;
    style_.license = sheet.license;
    style_.namespace_ = sheet.namespace_;
    style_.description = sheet.description;
    style_.preprocessor =
        kPreprocessorMenu[std::min(sheet.preprocessor, std::size(kPreprocessorMenu) - 1)];
    changed();
    return true;
}

ruleDictionary StyleEditorDocument::rules() const {
    return *ruleDictionary::fromSection(section());
}

bool StyleEditorDocument::setRules(const ruleDictionary& rows) {
    if (readOnly_) {
        return false;
    }
    styleSection& s = style_.styleData.sections[current_];
    s = rows.applyTo(std::move(s));
    changed();
    return true;
}

std::string StyleEditorDocument::closeQuestion() const {
    return "Would you like to save changes to " + style_.styleData.name + "?";
}

}  // namespace orlavine
