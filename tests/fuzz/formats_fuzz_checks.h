#pragma once
// What the fuzz targets of the style-document readers check for each input, shared with the
// test that replays their corpora in the normal build. Each returns a description of the first
// fault found, or nothing. Beyond not crashing (the sanitizers watch that), a reader given
// well-formed UTF-8 must give well-formed UTF-8: no code point is ever cut apart.

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/moz_document_reader.h"
#include "formats/usercss_reader.h"
#include "formats/usercss_writer.h"
#include "formats/variable_declaration_reader.h"
#include "text/text.h"

namespace orlavine::testing {

inline std::optional<std::string> brokenText(const std::vector<std::string>& texts,
                                             const char* what) {
    for (const std::string& t : texts) {
        if (!text::isValidUtf8(t)) {
            return std::string(what) + " cut a code point apart";
        }
    }
    return std::nullopt;
}

inline void collectTexts(const styleSection& s, std::vector<std::string>& out) {
    out.push_back(s.code);
    for (const auto* list : {&s.domains, &s.urls, &s.urlPrefixes, &s.regexps}) {
        out.insert(out.end(), list->begin(), list->end());
    }
}

inline void collectTexts(const userVariable& v, std::vector<std::string>& out) {
    out.insert(out.end(), {v.type, v.name, v.label, v.defaultValue});
    if (v.rangeOptions && v.rangeOptions->units) {
        out.push_back(*v.rangeOptions->units);
    }
    for (const variableOption& o : v.selectOptions.value_or(std::vector<variableOption>{})) {
        out.insert(out.end(), {o.name.value_or(""), o.label.value_or(""), o.value.value_or("")});
    }
}

inline std::vector<std::string> collectTexts(const styleContainer& s) {
    std::vector<std::string> out = {
        s.styleData.name, s.version,    s.namespace_, s.description,  s.author,
        s.homepageURL,    s.supportURL, s.license,    s.preprocessor, s.updateURL.value_or("")};
    for (const styleSection& sec : s.styleData.sections) {
        collectTexts(sec, out);
    }
    for (const userVariable& v : s.userVariables.value_or(std::vector<userVariable>{})) {
        collectTexts(v, out);
    }
    return out;
}

// A whole document through both readers, and what they read through the writer and back.
inline std::optional<std::string> usercssProblem(std::string_view input) {
    const bool utf8 = text::isValidUtf8(input);
    for (const bool reread : {false, true}) {
        const auto style = reread ? rereadUserCSS(input) : readUserCSS(input);
        if (!style) {
            continue;
        }
        if (style->styleData.sections.empty()) {
            return "a style without sections";
        }
        if (utf8) {
            if (auto problem = brokenText(collectTexts(*style), "reading")) {
                return problem;
            }
        }
        const std::string written = writeUserCSS(*style);
        if (const auto again = readUserCSS(written); again && utf8) {
            if (auto problem = brokenText(collectTexts(*again), "reading the written document")) {
                return problem;
            }
        }
    }
    std::size_t start = 0;
    while (start <= input.size()) {
        const std::size_t end = std::min(input.find('\n', start), input.size());
        isMetadataKeyLine(input.substr(start, end - start));
        start = end + 1;
    }
    return std::nullopt;
}

// The first byte picks the preprocessor and the line-end handling; the rest is the document,
// cut into chunks and read block by block.
inline std::optional<std::string> mozDocumentProblem(std::string_view input) {
    if (input.empty()) {
        return std::nullopt;
    }
    const unsigned char mode = static_cast<unsigned char>(input.front());
    const std::string_view document = input.substr(1);
    const char* preprocessor = (mode & 1) != 0 ? "stylus" : ((mode & 2) != 0 ? "Stylus" : "less");
    const CodeLineEnds lineEnds =
        (mode & 4) != 0 ? CodeLineEnds::eachCrIsLf : CodeLineEnds::joinCrLf;
    const bool utf8 = text::isValidUtf8(document);
    std::optional<std::string> pending;
    if ((mode & 8) != 0) {
        pending = "/* carried */";
    }
    const std::vector<std::string_view> chunks = splitMozDocumentChunkViews(document);
    if (chunks.empty()) {
        return "no chunks";
    }
    std::vector<std::string> texts;
    for (const std::string_view chunk : chunks) {
        if (chunk.data() < document.data() && !chunk.empty()) {
            return "a chunk outside the text";
        }
        MozDocumentBlock block = readMozDocumentBlock(chunk, preprocessor, pending, lineEnds);
        if (block.sections.size() > 2) {
            return "more than two sections from one block";
        }
        for (const styleSection& s : block.sections) {
            collectTexts(s, texts);
        }
        if (block.pendingComment) {
            texts.push_back(*block.pendingComment);
        }
        pending = std::move(block.pendingComment);
        texts.emplace_back(chunk);
    }
    return utf8 ? brokenText(texts, "block reading") : std::nullopt;
}

inline std::optional<std::string> mozDocumentRulesProblem(std::string_view input) {
    const styleSection s = parseMozDocumentRules(input, "code");
    if (s.code != "code") {
        return "the code was changed";
    }
    std::vector<std::string> texts;
    collectTexts(s, texts);
    return text::isValidUtf8(input) ? brokenText(texts, "rule parsing") : std::nullopt;
}

inline std::optional<std::string> variableDeclarationProblem(std::string_view input) {
    const auto v = parseVariableDeclaration(input);
    if (!v) {
        return std::nullopt;
    }
    if (v->currentValue != v->defaultValue) {
        return "a fresh variable does not hold its default";
    }
    if ((v->type == "select" || v->type == "dropdown") &&
        (!v->selectOptions || v->selectOptions->empty())) {
        return "a choice variable without choices";
    }
    if ((v->type == "number" || v->type == "range") && !v->rangeOptions) {
        return "a number without bounds";
    }
    std::vector<std::string> texts;
    collectTexts(*v, texts);
    return text::isValidUtf8(input) ? brokenText(texts, "declaration reading") : std::nullopt;
}

}  // namespace orlavine::testing
