#include "formats/variable_declaration_reader.h"

#include <array>
#include <charconv>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "text/text.h"

namespace orlavine {
namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr double kLowest = std::numeric_limits<double>::lowest();
constexpr double kHighest = std::numeric_limits<double>::max();

constexpr std::array<std::string_view, 8> kTypes = {"select", "dropdown", "image", "checkbox",
                                                    "color",  "text",     "range", "number"};

bool isQuote(char c) {
    return c == '"' || c == '\'' || c == '`';
}

bool opensToken(std::string_view s, std::size_t i);

// TAB and CR become spaces and every run of spaces becomes one; LFs stay. Quoted texts (a
// label, a default, an option) keep their blanks as written.
std::string normaliseSpaces(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    char openQuote = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (openQuote != 0) {
            out += c;
            if (c == '\\' && i + 1 < s.size()) {
                out += s[++i];
            } else if (c == openQuote) {
                openQuote = 0;
            }
            continue;
        }
        if (isQuote(c) && opensToken(s, i)) {
            openQuote = c;
        }
        if (c == '\t' || c == '\r') {
            c = ' ';
        }
        if (c == ' ' && !out.empty() && out.back() == ' ') {
            continue;
        }
        out += c;
    }
    return out;
}

// At most three words: the type, the name and the rest with its inner spaces.
std::vector<std::string_view> splitWords(std::string_view s) {
    std::vector<std::string_view> words;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != ' ') {
            continue;
        }
        const bool appended = i > start;
        if (appended) {
            words.push_back(s.substr(start, i - start));
        }
        start = i + 1;
        if (appended && words.size() == 2) {
            break;
        }
    }
    if (start < s.size()) {
        words.push_back(s.substr(start));
    }
    return words;
}

std::string_view withoutFirstAndLastCharacter(std::string_view s) {
    if (s.empty()) {
        return s;
    }
    s.remove_prefix(text::codePointLength(s, 0));
    std::size_t last = s.size();
    while (last > 0) {
        --last;
        if ((static_cast<unsigned char>(s[last]) & 0xC0) != 0x80) {
            break;
        }
    }
    return s.substr(0, last);
}

// Whether the character at i starts a token, so that a quote there opens a quoted text (the
// apostrophe of a bare "Don't" does not).
bool opensToken(std::string_view s, std::size_t i) {
    if (i == 0) {
        return true;
    }
    const char before = s[i - 1];
    return before == ' ' || before == '\t' || before == '\r' || before == '\n' || before == ',' ||
           before == ':' || before == '{' || before == '[';
}

// Cuts an option list at every comma outside quotes. A quoted text ends only at the quote
// character that opened it ("Don't" stays one key); a quote or backslash escaped by a
// backslash does not count.
std::vector<std::string_view> splitEntries(std::string_view s) {
    std::vector<std::string_view> entries;
    char openQuote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\\' && i + 1 < s.size() && (isQuote(s[i + 1]) || s[i + 1] == '\\')) {
            ++i;
        } else if (isQuote(c) && openQuote == c) {
            openQuote = 0;
        } else if (isQuote(c) && openQuote == 0 && opensToken(s, i)) {
            openQuote = c;
        } else if (c == ',' && openQuote == 0) {
            entries.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    entries.push_back(s.substr(start));
    return entries;
}

// Undoes the escapes that option keys and values are written with: a backslash before a
// backslash, a slash or a quote character stands for that character.
std::string unescapeOption(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() &&
            (s[i + 1] == '\\' || s[i + 1] == '/' || isQuote(s[i + 1]))) {
            ++i;
        }
        out += s[i];
    }
    return out;
}

// Where the quoted key of an entry ends: its opening quote character followed by ":", not
// counting quotes escaped by a backslash.
std::size_t keyEnd(std::string_view entry) {
    const char quote = entry.front();
    for (std::size_t i = 1; i + 1 < entry.size(); ++i) {
        if (entry[i] == '\\') {
            ++i;
        } else if (entry[i] == quote && entry[i + 1] == ':') {
            return i;
        }
    }
    return npos;
}

// Where a quoted label ends: the next quote character like the opening one that no backslash
// escapes.
std::size_t labelEnd(std::string_view rest) {
    const char quote = rest.front();
    for (std::size_t i = 1; i < rest.size(); ++i) {
        if (rest[i] == '\\' && i + 1 < rest.size() && rest[i + 1] == quote) {
            ++i;
        } else if (rest[i] == quote) {
            return i;
        }
    }
    // A label that ends in a backslash ("C:\") has no escapes.
    return rest.find(quote, 1);
}

std::string unescapeLabel(std::string_view label, char quote) {
    const std::string escaped{'\\', quote};
    return text::replaceAll(label, escaped, std::string(1, quote));
}

std::string_view withoutSurroundingQuotes(std::string_view s) {
    if (!s.empty() && isQuote(s.front())) {
        s.remove_prefix(1);
    }
    if (!s.empty() && isQuote(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// "name:label" gives both; a key without a colon is both.
variableOption optionFromKey(std::string_view key) {
    variableOption option;
    const std::size_t colon = key.find(':');
    if (colon == npos) {
        option.name = std::string(key);
        option.label = std::string(key);
    } else {
        option.name = std::string(text::trimmed(key.substr(0, colon)));
        option.label = std::string(text::trimmed(key.substr(colon + 1)));
    }
    return option;
}

// {"name:label": "value", ...}
std::vector<variableOption> objectOptions(std::string_view inside) {
    std::vector<variableOption> options;
    for (std::string_view raw : splitEntries(inside)) {
        const std::string_view entry = text::trimmed(raw);
        if (entry.empty() || !isQuote(entry.front())) {
            continue;
        }
        const std::size_t cut = keyEnd(entry);
        if (cut == npos) {
            continue;
        }
        const std::string key = unescapeOption(entry.substr(1, cut - 1));
        std::string_view value = text::trimmed(entry.substr(cut + 2));
        if (!value.empty() && isQuote(value.front())) {
            const char opening = value.front();
            value.remove_prefix(1);
            if (!value.empty() && value.back() == opening) {
                value.remove_suffix(1);
            }
        }
        variableOption option = optionFromKey(text::trimmed(key));
        option.value = unescapeOption(text::trimmed(value));
        options.push_back(std::move(option));
    }
    return options;
}

// [name:label, name*, ...]; an option's value is its name.
std::vector<variableOption> arrayOptions(std::string_view inside) {
    std::vector<variableOption> options;
    for (std::string_view raw : splitEntries(inside)) {
        const std::string_view entry = withoutSurroundingQuotes(text::trimmed(raw));
        if (entry.empty()) {
            continue;
        }
        variableOption option = optionFromKey(entry);
        option.value = option.name;
        options.push_back(std::move(option));
    }
    return options;
}

// name "label" <<<EOT value EOT; ...
std::vector<variableOption> hereDocumentOptions(std::string_view value) {
    std::vector<variableOption> options;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t cut = value.find("EOT;", pos);
        const std::string_view piece =
            value.substr(pos, cut == npos ? std::string_view::npos : cut - pos);
        if (!text::trimmed(piece).empty()) {
            const std::size_t q1 = piece.find('"');
            const std::size_t q2 = q1 == npos ? npos : piece.find('"', q1 + 1);
            if (q2 != npos) {
                std::string_view body = text::trimmed(piece.substr(q2 + 1));
                if (body.starts_with("<<<EOT")) {
                    body = text::trimmed(body.substr(6));
                }
                variableOption option;
                option.name = std::string(text::trimmed(piece.substr(0, q1)));
                option.label = std::string(text::trimmed(piece.substr(q1 + 1, q2 - q1 - 1)));
                option.value = text::replaceAll(body, "\\/", "/");
                options.push_back(std::move(option));
            }
        }
        if (cut == npos) {
            break;
        }
        pos = cut + 4;
    }
    return options;
}

// The index of the first option whose name ends with the default mark "*", else 0.
std::string markedDefault(const std::vector<variableOption>& options) {
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (options[i].name && options[i].name->ends_with('*')) {
            return std::to_string(i);
        }
    }
    return "0";
}

std::optional<double> readNumber(std::string_view s) {
    if (s.starts_with('+')) {
        s.remove_prefix(1);
    }
    if (s.empty()) {
        return std::nullopt;
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size()) {
        return std::nullopt;
    }
    return value;
}

rangeOpts fallbackRange(std::string_view type) {
    rangeOpts r;
    r.step = 1;
    if (type == "range") {
        r.min = 0;
        r.max = 100;
    } else {
        r.min = kLowest;
        r.max = kHighest;
    }
    return r;
}

// [default, min, max, step, 'units']: quoted entries are the units and do not count. "null"
// leaves the bound at the type's fallback; any other unreadable bound gives 0, 100 or 1.
void readNumberList(std::string_view inside, userVariable& v) {
    const rangeOpts fallback = fallbackRange(v.type);
    rangeOpts r = fallback;
    std::size_t counted = 0;
    for (std::string_view raw : splitEntries(inside)) {
        const std::string_view entry = text::trimmed(raw);
        if (text::contains(entry, '\'') || text::contains(entry, '"')) {
            std::string units;
            for (char c : entry) {
                if (c != '\'' && c != '"') {
                    units += c;
                }
            }
            r.units = std::move(units);
            continue;
        }
        ++counted;
        const bool null = entry == "null";
        switch (counted) {
            case 1:
                v.defaultValue = std::string(entry);
                break;
            case 2:
                r.min = null ? fallback.min : readNumber(entry).value_or(0);
                break;
            case 3:
                r.max = null ? fallback.max : readNumber(entry).value_or(100);
                break;
            case 4:
                r.step = null ? fallback.step : readNumber(entry).value_or(1);
                break;
            default:
                break;
        }
    }
    if (v.defaultValue != "Value") {
        if (const auto d = readNumber(v.defaultValue)) {
            if (*d < r.min) {
                r.min = *d;
            }
            if (*d > r.max) {
                r.max = *d;
            }
        }
    }
    v.rangeOptions = r;
}

std::string_view bracketInside(std::string_view s) {
    const std::size_t open = s.find('[');
    const std::size_t close = s.rfind(']');
    if (open == npos || close == npos || close < open) {
        return {};
    }
    return s.substr(open + 1, close - open - 1);
}

bool hasBrackets(std::string_view s) {
    return text::contains(s, '[') && text::contains(s, ']');
}

}  // namespace

std::optional<userVariable> parseVariableDeclaration(std::string_view declaration,
                                                     Reporter* console) {
    std::string normalised = normaliseSpaces(declaration);
    std::vector<std::string_view> words = splitWords(normalised);
    if (words.size() < 3) {
        return std::nullopt;
    }
    bool known = false;
    for (std::string_view t : kTypes) {
        known = known || words[0] == t;
    }
    if (!known) {
        if (console != nullptr) {
            console->consoleLine(kInvalidVariableTypeLine);
        }
        return std::nullopt;
    }

    // A label glued to the name, or an option list glued to a quoted label, gets its space.
    for (const char quote : {'\'', '"'}) {
        if (text::contains(words[1], quote)) {
            normalised.insert(normalised.find(quote), " ");
            words = splitWords(normalised);
            break;
        }
    }
    if (words.size() < 3) {
        return std::nullopt;
    }
    for (const std::string_view glued : {std::string_view("'{"), std::string_view("\"{")}) {
        const std::size_t at = words[2].find(glued);
        if (at != npos) {
            const std::size_t restOffset =
                static_cast<std::size_t>(words[2].data() - normalised.data());
            normalised.insert(restOffset + at + 1, " ");
            words = splitWords(normalised);
            break;
        }
    }
    if (words.size() < 3) {
        return std::nullopt;
    }

    userVariable v;
    v.type = std::string(words[0]);
    v.name = std::string(words[1]);
    v.label = "Variable Name";
    v.defaultValue = "Value";

    const std::string_view rest = words[2];
    std::string_view value;
    if (rest.front() == '"' || rest.front() == '\'') {
        const std::size_t close = labelEnd(rest);
        if (close == npos) {
            return std::nullopt;
        }
        v.label = unescapeLabel(rest.substr(1, close - 1), rest.front());
        std::size_t start = close + 1;
        start += text::codePointLength(rest, start);
        value = start < rest.size() ? rest.substr(start) : std::string_view();
    } else {
        const std::size_t space = rest.find(' ');
        if (space == npos) {
            return std::nullopt;
        }
        v.label = std::string(rest.substr(0, space));
        value = rest.substr(space + 1);
    }

    const bool braces = text::contains(value, '{') && text::contains(value, '}');
    if (braces) {
        value = text::trimmed(withoutFirstAndLastCharacter(value));
    }

    const bool optionType = v.type == "select" || v.type == "dropdown" || v.type == "image";
    if (optionType) {
        std::vector<variableOption> options;
        const bool hereDocument = v.type == "dropdown" && text::contains(value, "<<<EOT") &&
                                  text::contains(value, "EOT;");
        if (hereDocument) {
            options = hereDocumentOptions(value);
        } else if (braces) {
            options = objectOptions(value);
        } else if (hasBrackets(value)) {
            options = arrayOptions(bracketInside(value));
        }
        if (options.empty() && v.type != "image") {
            return std::nullopt;
        }
        v.defaultValue = hereDocument ? "0" : markedDefault(options);
        v.selectOptions = std::move(options);
    } else if (v.type == "number" || v.type == "range") {
        if (hasBrackets(value)) {
            readNumberList(bracketInside(value), v);
        } else {
            v.defaultValue = std::string(text::trimmed(value));
            v.rangeOptions = fallbackRange(v.type);
        }
    } else {
        std::string_view plain = text::trimmed(value);
        if (plain.size() >= 2 && (plain.front() == '"' || plain.front() == '\'') &&
            plain.back() == plain.front()) {
            plain = plain.substr(1, plain.size() - 2);
        }
        v.defaultValue = text::replaceAll(plain, "\\/", "/");
    }
    v.currentValue = v.defaultValue;
    return v;
}

void VariableDeclarationScan::feed(std::string_view text) {
    for (const char c : text) {
        const char before = last_;
        last_ = c;
        window_ = window_.substr(window_.size() == 6 ? 1 : 0) + c;
        if (inHereDocument_) {
            if (window_.ends_with("EOT;")) {
                inHereDocument_ = false;
            }
            continue;
        }
        if (quote_ != 0) {
            if (escaped_) {
                escaped_ = false;
            } else if (c == '\\') {
                escaped_ = true;
            } else if (c == quote_) {
                quote_ = 0;
            }
            continue;
        }
        switch (c) {
            case '{':
            case '[':
                ++depth_;
                hasList_ = true;
                break;
            case '}':
            case ']':
                depth_ = depth_ > 0 ? depth_ - 1 : 0;
                break;
            case '"':
            case '\'':
            case '`':
                // A quote opens a string only where a token starts (so "It's" stays a word).
                if (before == ' ' || before == '\t' || before == '\n' || before == '\r' ||
                    before == '{' || before == '[' || before == ',' || before == ':') {
                    quote_ = c;
                }
                break;
            case 'T':
                if (window_ == "<<<EOT") {
                    inHereDocument_ = true;
                    hasList_ = true;
                    window_.clear();
                }
                break;
            default:
                break;
        }
    }
}

bool VariableDeclarationScan::continuesWith(std::string_view nextLine) const {
    if (depth_ > 0 || quote_ != 0 || inHereDocument_) {
        return true;
    }
    const std::string_view next = text::trimmed(nextLine);
    return !hasList_ &&
           (next.starts_with("{") || next.starts_with("[") || next.starts_with("<<<EOT"));
}

bool variableDeclarationContinues(std::string_view declaration, std::string_view nextLine) {
    VariableDeclarationScan scan;
    scan.feed(declaration);
    return scan.continuesWith(nextLine);
}

}  // namespace orlavine
