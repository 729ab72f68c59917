// libFuzzer target for page CSS assembly: a small library and an address made from the input.
// Assembly must never crash or hang, and the compiled library must give what the direct walk
// gives. (Both bound the work of a regular expression, but count it differently; a mismatch
// that only involves an expression right at its step limit is not a fault.)
//
// Input: lines. The first is the address. Each other line starts with a letter:
//   s  a new style (the rest of the line: flags: e enabled, f frames, d dark, l light, c less)
//   c  a new section of the current style with the rest as its code (\t stands for a line feed)
//   k  compiled code for the current section
//   u, d, p, r  a section rule: exact address, domain, prefix, regular expression
//   U, D, P, R  an exclusion of the current style, of the same kinds

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "extension/page_css.h"
#include "support/uncached_assembly.h"

namespace {

using namespace orlavine;

constexpr std::size_t kMaxLine = 300;

void addTo(std::optional<std::vector<std::string>>& list, std::string value) {
    if (!list) {
        list.emplace();
    }
    list->push_back(std::move(value));
}

styleDatabase readLibrary(std::string_view input, std::string& address) {
    styleDatabase db;
    bool first = true;
    while (!input.empty()) {
        const std::size_t end = input.find('\n');
        std::string line(input.substr(0, std::min(end, kMaxLine)));
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
        if (first) {
            address = line;
            first = false;
            continue;
        }
        if (line.empty()) {
            continue;
        }
        const char kind = line[0];
        std::string value = line.substr(1);
        if (kind == 's' || db.styles.empty()) {
            styleContainer style;
            style.uniqueID = static_cast<std::int64_t>(db.styles.size());
            style.styleData.name = "s";
            style.isEnabled = value.find('e') != std::string::npos;
            if (value.find('f') != std::string::npos) {
                style.allowIframe = true;
            }
            if (value.find('d') != std::string::npos) {
                style.systemTheme = "dark";
            } else if (value.find('l') != std::string::npos) {
                style.systemTheme = "light";
            }
            if (value.find('c') != std::string::npos) {
                style.preprocessor = "less";
                style.styleData.compSections.emplace();
            }
            db.styles.push_back(std::move(style));
            if (kind == 's') {
                continue;
            }
        }
        styleContainer& style = db.styles.back();
        auto& sections =
            style.styleData.compSections ? *style.styleData.compSections : style.styleData.sections;
        if (kind == 'c' || sections.empty()) {
            for (char& c : value) {
                c = c == '\t' ? '\n' : c;
            }
            sections.emplace_back();
            sections.back().code = kind == 'c' ? value : "a{}";
            if (kind == 'c') {
                continue;
            }
        }
        styleSection& section = sections.back();
        switch (kind) {
            case 'k':
                section.compiledcode = value;
                break;
            case 'u':
                section.urls.push_back(value);
                break;
            case 'd':
                section.domains.push_back(value);
                break;
            case 'p':
                section.urlPrefixes.push_back(value);
                break;
            case 'r':
                section.regexps.push_back(value);
                break;
            case 'U':
                addTo(style.exclURL, value);
                break;
            case 'D':
                addTo(style.exclDomain, value);
                break;
            case 'P':
                addTo(style.exclPrefix, value);
                break;
            case 'R':
                addTo(style.exclRegExp, value);
                break;
            default:
                break;
        }
    }
    return db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) {
        return 0;
    }
    std::string address;
    const styleDatabase db =
        readLibrary(std::string_view(reinterpret_cast<const char*>(data), size), address);
    if (db.styles.size() > 32) {
        return 0;
    }
    const auto compiled = CompiledLibrary::build(db);
    for (bool frame : {false, true}) {
        if (compiled->pageCSS(address, frame) != uncachedPageCSS(db, address, frame)) {
            __builtin_trap();
        }
    }
    if (compiled->activeStyles(address) != uncachedActiveStyles(db, address)) {
        __builtin_trap();
    }
    return 0;
}
