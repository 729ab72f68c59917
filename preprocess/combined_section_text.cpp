#include "preprocess/combined_section_text.h"

#include <algorithm>
#include <string_view>

#include "text/text.h"

namespace orlavine {
namespace {

std::string doubledBackslashes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out.push_back(c);
        if (c == '\\') {
            out.push_back('\\');
        }
    }
    return out;
}

std::string indented(std::string_view code) {
    std::string out;
    out.reserve(code.size() + code.size() / 16);
    for (char c : code) {
        out.push_back(c);
        if (c == '\n') {
            out.push_back('\t');
        }
    }
    return out;
}

std::string documentRules(const styleSection& section) {
    std::string rules;
    auto add = [&rules](std::string_view function, std::string_view value) {
        if (!rules.empty()) {
            rules += ", ";
        }
        rules.append(function);
        rules += "(\"";
        rules.append(value);
        rules += "\")";
    };
    for (const auto& domain : section.domains) {
        add("domain", domain);
    }
    for (const auto& url : section.urls) {
        add("url", url);
    }
    for (const auto& prefix : section.urlPrefixes) {
        add("url-prefix", prefix);
    }
    for (const auto& regexp : section.regexps) {
        add("regexp", doubledBackslashes(regexp));
    }
    return rules;
}

}  // namespace

std::string combinedSectionText(const styleContainer& style) {
    const bool stylus = text::asciiLower(style.preprocessor) == "stylus";
    std::string text;
    const auto& sections = style.styleData.sections;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const auto& section = sections[i];
        const bool ruleless = section.domains.empty() && section.urls.empty() &&
                              section.urlPrefixes.empty() && section.regexps.empty();
        if (ruleless) {
            if (i > 0) {
                text += "\n";
            }
            text += section.code;
            continue;
        }
        if (i > 0) {
            text += "\n\n";
        }
        text += "@-moz-document " + documentRules(section) + "\n";
        if (stylus && section.code.find('{') == std::string::npos) {
            text += "\n\t" + indented(section.code) + "\n";
        } else {
            text += "{\n\t" + indented(section.code) + "\n}";
        }
    }
    return text;
}

}  // namespace orlavine
