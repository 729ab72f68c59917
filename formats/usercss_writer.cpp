#include "formats/usercss_writer.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "formats/usercss_reader.h"
#include "text/text.h"

namespace orlavine {
namespace {

constexpr double kLowest = std::numeric_limits<double>::lowest();
constexpr double kHighest = std::numeric_limits<double>::max();

void metadataLine(std::string& out, std::string_view keyAndTabs, std::string_view value) {
    if (text::trimmed(value).empty()) {
        return;
    }
    out += keyAndTabs;
    // A value may go on over several lines, but a line that reads back as a key ("@version 9")
    // would change the style; such a line joins the one before it.
    std::size_t lineStart = 0;
    while (lineStart <= value.size()) {
        std::size_t lineEnd = value.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) {
            lineEnd = value.size();
        }
        const std::string_view line = value.substr(lineStart, lineEnd - lineStart);
        if (lineStart > 0) {
            if (isMetadataKeyLine(line)) {
                if (!out.empty() && out.back() == '\r') {
                    out.pop_back();
                }
                out += ' ';
            } else {
                out += '\n';
            }
        }
        out += line;
        lineStart = lineEnd + 1;
    }
    out += '\n';
}

// The shortest decimal text that reads back to the same value; whole numbers keep one digit
// after the point ("100.0"), very large and very small magnitudes use an exponent.
std::string numberText(double d) {
    char buffer[64];
    const double magnitude = std::fabs(d);
    const bool fixed = d == 0 || (magnitude >= 1e-4 && magnitude < 1e16);
    const auto result =
        fixed ? std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::fixed)
              : std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::scientific);
    std::string s(buffer, result.ptr);
    if (s.find_first_of(".eEn") == std::string::npos) {
        s += ".0";
    }
    return s;
}

// Option keys and values are quoted; the characters that would end a quote early or be taken
// for an escape get a backslash (and in values the slash, so no "*/" ends the comment).
std::string escapeOption(std::string_view text, bool slashes) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\\' || c == '"' || c == '\'' || c == '`' || (slashes && c == '/')) {
            out += '\\';
        }
        out += c;
    }
    return out;
}

// Whether a plain value would lose something when read back bare: a colon, blanks at either
// end (which the reader trims) or blanks the reader would fold into one space, or quotes at
// both ends (which the reader takes off).
bool needsQuotes(std::string_view value) {
    if (text::contains(value, ':') || text::trimmed(value).size() != value.size() ||
        text::contains(value, '\t') || text::contains(value, '\r') || text::contains(value, "  ")) {
        return true;
    }
    return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
           value.back() == value.front();
}

// A label is quoted with whichever quote character it does not hold; a label holding both
// gets a backslash before each double quote.
void writeLabel(std::string& out, std::string_view label) {
    const char quote = text::contains(label, '"') && !text::contains(label, '\'') ? '\'' : '"';
    out += quote;
    out += quote == '"' ? text::replaceAll(label, "\"", "\\\"") : std::string(label);
    out += quote;
}

bool isFallbackRange(const std::string& type, const rangeOpts& r) {
    if (r.units || r.step != 1) {
        return false;
    }
    if (type == "range") {
        return r.min == 0 && r.max == 100;
    }
    return r.min == kLowest && r.max == kHighest;
}

void writeVariable(std::string& out, const userVariable& v) {
    const bool options = v.type == "select" || v.type == "dropdown" || v.type == "image";
    out += "@var ";
    out += options ? std::string_view("select") : std::string_view(v.type);
    out += ' ';
    out += v.name;
    out += ' ';
    writeLabel(out, v.label);
    out += ' ';
    if (options) {
        if (v.selectOptions) {
            out += "{\n";
            for (std::size_t i = 0; i < v.selectOptions->size(); ++i) {
                const variableOption& o = (*v.selectOptions)[i];
                const std::string name = o.name.value_or("");
                const std::string label = o.label.value_or("");
                out += '"';
                if (label != name) {
                    out += escapeOption(name, false);
                    out += ':';
                }
                out += escapeOption(label, false);
                out += "\": `";
                out += escapeOption(o.value.value_or(""), true);
                out += '`';
                out += i + 1 < v.selectOptions->size() ? ",\n" : "\n";
            }
            out += '}';
        }
        out += '\n';
    } else if (v.type == "number" || v.type == "range") {
        out += '[';
        out += v.defaultValue;
        if (v.rangeOptions && !isFallbackRange(v.type, *v.rangeOptions)) {
            const rangeOpts& r = *v.rangeOptions;
            out += ", ";
            out += r.min == kLowest ? std::string("null") : numberText(r.min);
            out += ", ";
            out += r.max == kHighest ? std::string("null") : numberText(r.max);
            out += ", ";
            out += numberText(r.step);
            if (r.units) {
                out += ", '";
                out += *r.units;
                out += '\'';
            }
        }
        out += "]\n";
    } else {
        if (needsQuotes(v.defaultValue)) {
            out += '"';
            out += v.defaultValue;
            out += '"';
        } else {
            out += v.defaultValue;
        }
        out += '\n';
    }
}

bool hasRules(const styleSection& s) {
    return !s.domains.empty() || !s.urls.empty() || !s.urlPrefixes.empty() || !s.regexps.empty();
}

void writeRules(std::string& out, const styleSection& s) {
    out += "@-moz-document ";
    bool first = true;
    const auto rule = [&](std::string_view function, std::string_view value) {
        if (!first) {
            out += ", ";
        }
        first = false;
        out += function;
        out += "(\"";
        out += value;
        out += "\")";
    };
    for (const std::string& d : s.domains) {
        rule("domain", d);
    }
    for (const std::string& u : s.urls) {
        rule("url", u);
    }
    for (const std::string& p : s.urlPrefixes) {
        rule("url-prefix", p);
    }
    for (const std::string& r : s.regexps) {
        rule("regexp", text::replaceAll(r, "\\", "\\\\"));
    }
    out += '\n';
}

}  // namespace

std::string writeUserCSS(const styleContainer& style) {
    std::size_t size = 1024;
    for (const styleSection& s : style.styleData.sections) {
        size += s.code.size() + s.code.size() / 16 + 128;
    }
    std::string out;
    out.reserve(size);

    out += "/* ==UserStyle==\n";
    metadataLine(out, "@name\t\t\t", style.styleData.name);
    metadataLine(out, "@author\t\t\t", style.author);
    metadataLine(out, "@description\t", style.description);
    metadataLine(out, "@version\t\t", style.version);
    metadataLine(out, "@namespace\t\t", style.namespace_);
    metadataLine(out, "@license\t\t", style.license);
    if (!style.preprocessor.empty()) {
        out += "@preprocessor\t";
        out += style.preprocessor;
        out += '\n';
    }
    if (style.updateURL) {
        metadataLine(out, "@updateURL\t\t", *style.updateURL);
    }
    if (style.userVariables) {
        for (const userVariable& v : *style.userVariables) {
            writeVariable(out, v);
        }
    }
    out += "==/UserStyle== */\n\n";

    const bool stylus = text::asciiLower(style.preprocessor) == "stylus";
    const std::vector<styleSection>& sections = style.styleData.sections;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const styleSection& s = sections[i];
        const bool rules = hasRules(s);
        if (i > 0) {
            out += rules ? "\n\n" : "\n";
        }
        if (!rules) {
            out += s.code;
            continue;
        }
        writeRules(out, s);
        const std::string indented = text::replaceAll(s.code, "\n", "\n\t");
        if (stylus && !text::contains(s.code, '{')) {
            out += "\n\t";
            out += indented;
            out += '\n';
        } else {
            out += "{\n\t";
            out += indented;
            out += "\n}";
        }
    }
    return out;
}

}  // namespace orlavine
