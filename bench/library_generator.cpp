#include "bench/library_generator.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace orlavine::bench {
namespace {

// splitmix64: tiny, fast and fully specified, so every platform draws the same numbers.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }
    // A number in [0, n); n > 0.
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    // A number in [lo, hi].
    std::size_t between(std::size_t lo, std::size_t hi) { return lo + below(hi - lo + 1); }
    bool percent(std::size_t p) { return below(100) < p; }
    template <class T, std::size_t N>
    const T& pick(const std::array<T, N>& items) {
        return items[below(N)];
    }

  private:
    std::uint64_t state_;
};

using Words = std::string_view;

// Site names the rules point at; a few are in scripts other than Latin.
constexpr std::array<Words, 20> kDomains = {
    "github.com",           "www.youtube.com",    "reddit.com",
    "en.wikipedia.org",     "ja.wikipedia.org",   "ru.wikipedia.org",
    "news.ycombinator.com", "stackoverflow.com",  "mail.example.org",
    "docs.example.dev",     "www.bbc.co.uk",      "www.zhihu.com",
    "www.twitch.tv",        "duckduckgo.com",     "developer.mozilla.org",
    "forum.example.net",    "xn--80ak6aa92e.com", "bücher.example",
    "wiki.archlinux.org",   "gitlab.com"};

constexpr std::array<Words, 24> kSelectors = {".header",
                                              "#masthead",
                                              "div[class*=\"sidebar\"]",
                                              "a:hover",
                                              "body > .content",
                                              "[data-testid=\"tweet\"]",
                                              ".btn-primary:not(.disabled)",
                                              "html, body",
                                              ".comment .author",
                                              "input[type=\"search\"]",
                                              "nav ul li a",
                                              ".markdown-body pre code",
                                              "::selection",
                                              ".icon-star::before",
                                              "table tr:nth-child(2n+1)",
                                              "#content > div:first-child",
                                              ".Box-row--unread",
                                              ".notice, .flash-warn",
                                              "ytd-app #guide-inner-content",
                                              ".mw-parser-output .infobox",
                                              "a[href^=\"https://ads.\"]",
                                              ".topbar .logo img",
                                              "#comments > .thread:hover",
                                              "footer"};

// Declarations; several hold quotes, backslashes (CSS escapes) or text outside ASCII.
constexpr std::array<Words, 26> kDeclarations = {
    "background-color: #1e1e1e",
    "color: #e0e0e0",
    "background: url(\"data:image/svg+xml;utf8,<svg xmlns='http://www.w3.org/2000/svg' "
    "viewBox='0 0 8 8'><path d='M0 0h8v8H0z'/></svg>\") no-repeat",
    "border: 1px solid rgba(255, 255, 255, 0.12)",
    "font-family: \"Noto Sans JP\", \"ヒラギノ角ゴ Pro\", \"Segoe UI\", sans-serif",
    "content: \"\\f101\"",
    "content: \"→ \"",
    "content: \"\\201C\" attr(title) \"\\201D\"",
    "box-shadow: 0 1px 3px rgba(0, 0, 0, .4), inset 0 0 0 1px #333",
    "display: none",
    "margin: 0 auto",
    "padding: 4px 8px",
    "max-width: 1200px",
    "transition: color .2s ease-in-out, background-color .2s",
    "filter: invert(90%) hue-rotate(180deg)",
    "font-size: 14px",
    "line-height: 1.5",
    "border-radius: 6px",
    "opacity: 0.85",
    "quotes: \"«\" \"»\" \"‹\" \"›\"",
    "text-shadow: none",
    "grid-template-columns: repeat(auto-fill, minmax(240px, 1fr))",
    "scrollbar-color: #555 #222",
    "font-feature-settings: \"liga\" 1, \"calt\" 1",
    "mask: url(\"icons.svg#close\") center / 12px no-repeat",
    "width: calc(100% - 2 * var(--gutter, 16px))"};

constexpr std::array<Words, 10> kComments = {"/* Тёмная тема для заголовков */",
                                             "/* 暗色主题 — 侧边栏 */",
                                             "/* hide the \"promoted\" posts */",
                                             "/* Ünïcödé ✓ 🌙 night mode */",
                                             "/* icons: C:\\Users\\me\\icons\\set.svg */",
                                             "/* ダークモード: コメント欄 */",
                                             "/* ---------- layout ---------- */",
                                             "/* see https://example.org/issues/42 */",
                                             "/* العربية: الوضع الليلي */",
                                             "/* TODO: \\ fix the \"sticky\" header */"};

constexpr std::array<Words, 16> kStyleNames = {
    "Dark Theme",        "Компактный вид",        "夜间模式",         "Clean \"Old\" Layout",
    "Night Owl 🦉",    "Wide Content",          "ダーク テーマ",    "Hide Distractions",
    "Solarized \\ Dark", "Readable Fonts",        "Minimal — Modern", "Großer Text",
    "Focus Mode",        "Dracula Colour Scheme", "Nord ❄",           "Sepia Reader"};

constexpr std::array<Words, 10> kAuthors = {"Jane Doe <jane@example.org>",
                                            "Иван Петров",
                                            "山田太郎",
                                            "night-owl",
                                            "Zoë \"zee\" Adams",
                                            "user1234",
                                            "Björk Guðmundsdóttir",
                                            "the_styler",
                                            "O'Brien",
                                            "Ana María"};

constexpr std::array<Words, 6> kLicenses = {"CC-BY-SA-4.0", "MIT",        "CC0-1.0",
                                            "GPL-3.0",      "No License", "CC-BY-NC-SA-4.0"};

std::string hexColor(Random& r) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string s = "#";
    for (int i = 0; i < 6; ++i) {
        s += digits[r.below(16)];
    }
    return s;
}

std::string hexDigits(Random& r, std::size_t n) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[r.below(16)];
    }
    return s;
}

enum class Language { css, less, stylus };

// How a style's author lays out text: indentation and line ends differ between styles.
struct Layout {
    std::string_view indent;
    std::string_view newline;
};

Layout layoutFor(Random& r) {
    const std::string_view indent = r.percent(30) ? "\t" : (r.percent(50) ? "  " : "    ");
    const std::string_view newline = r.percent(5) ? "\r\n" : "\n";
    return Layout{indent, newline};
}

void appendDeclaration(Random& r, std::string& out, const Layout& l, bool important) {
    out += l.indent;
    if (r.percent(20)) {
        // A colour of its own, so not every style carries the same text.
        out += r.percent(50) ? "color: " : "background-color: ";
        out += hexColor(r);
    } else {
        out += r.pick(kDeclarations);
    }
    if (important) {
        out += " !important";
    }
    out += ';';
    out += l.newline;
}

void appendSelectors(Random& r, std::string& out) {
    const std::size_t n = r.between(1, 3);
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) {
            out += ",\n";
        }
        out += r.pick(kSelectors);
    }
}

// Plain CSS, as most user styles are written.
void appendCssRule(Random& r, std::string& out, const Layout& l, bool important) {
    if (r.percent(8)) {
        out += r.pick(kComments);
        out += l.newline;
    }
    const bool media = r.percent(6);
    if (media) {
        out += "@media (max-width: ";
        out += std::to_string(r.between(480, 1400));
        out += "px) {";
        out += l.newline;
    }
    appendSelectors(r, out);
    out += " {";
    out += l.newline;
    const std::size_t declarations = r.between(1, 6);
    for (std::size_t i = 0; i < declarations; ++i) {
        appendDeclaration(r, out, l, important);
    }
    out += '}';
    out += l.newline;
    if (media) {
        out += '}';
        out += l.newline;
    }
}

void appendLessRule(Random& r, std::string& out, const Layout& l) {
    if (r.percent(10)) {
        out += "@bg-";
        out += std::to_string(r.below(20));
        out += ": ";
        out += hexColor(r);
        out += ';';
        out += l.newline;
    }
    appendSelectors(r, out);
    out += " {";
    out += l.newline;
    out += l.indent;
    out += "color: darken(@fg, ";
    out += std::to_string(r.between(2, 30));
    out += "%);";
    out += l.newline;
    appendDeclaration(r, out, l, false);
    out += l.indent;
    out += "&:hover { background: fade(@accent, 20%); }";
    out += l.newline;
    out += l.indent;
    out += ".inner { width: ~\"calc(100% - 20px)\"; }";
    out += l.newline;
    out += '}';
    out += l.newline;
}

void appendStylusRule(Random& r, std::string& out, const Layout& l) {
    if (r.percent(10)) {
        out += "accent-";
        out += std::to_string(r.below(20));
        out += " = ";
        out += hexColor(r);
        out += l.newline;
    }
    out += r.pick(kSelectors);
    out += l.newline;
    const std::size_t properties = r.between(1, 5);
    for (std::size_t i = 0; i < properties; ++i) {
        out += "\t";  // stylus code here is tab-indented, whatever the author's CSS habit
        switch (r.below(4)) {
            case 0:
                out += "color lighten(fg, 10%)";
                break;
            case 1:
                out += "background-color ";
                out += hexColor(r);
                break;
            case 2:
                out += "border-left 3px solid accent";
                break;
            default:
                out += "content '\\2014  ' + \"«\"";
                break;
        }
        out += l.newline;
    }
}

// About `size` bytes of code in the given language.
std::string makeCode(Random& r, Language language, std::size_t size, const Layout& l) {
    std::string out;
    out.reserve(size + 512);
    if (language == Language::less) {
        out += "@fg: #d8d8d8;";
        out += l.newline;
        out += "@accent: #6cb6ff;";
        out += l.newline;
    } else if (language == Language::stylus) {
        out += "fg = #d8d8d8";
        out += l.newline;
        out += "accent = #6cb6ff";
        out += l.newline;
    }
    const bool important = r.percent(60);
    while (out.size() < size) {
        switch (language) {
            case Language::css:
                appendCssRule(r, out, l, important);
                break;
            case Language::less:
                appendLessRule(r, out, l);
                break;
            case Language::stylus:
                appendStylusRule(r, out, l);
                break;
        }
    }
    return out;
}

std::string regexpFor(std::string_view domain) {
    std::string escaped;
    for (char c : domain) {
        if (c == '.') {
            escaped += "\\.";
        } else {
            escaped += c;
        }
    }
    return "https?://(www\\.)?" + escaped + "/(?!settings)[^?#]*(\\?.*)?";
}

styleSection makeSectionRules(Random& r) {
    styleSection s;
    if (r.percent(8)) {
        return s;  // applies everywhere
    }
    // Most sections use domains; the other kinds turn up less often, alone or mixed.
    if (r.percent(75)) {
        const std::size_t n = r.between(1, 4);
        for (std::size_t i = 0; i < n; ++i) {
            s.domains.emplace_back(r.pick(kDomains));
        }
    }
    if (r.percent(20)) {
        const std::size_t n = r.between(1, 3);
        for (std::size_t i = 0; i < n; ++i) {
            s.urls.push_back("https://" + std::string(r.pick(kDomains)) + "/");
        }
    }
    if (r.percent(25)) {
        const std::size_t n = r.between(1, 3);
        for (std::size_t i = 0; i < n; ++i) {
            s.urlPrefixes.push_back("https://" + std::string(r.pick(kDomains)) + "/search?q=");
        }
    }
    if (r.percent(15) || (s.domains.empty() && s.urls.empty() && s.urlPrefixes.empty())) {
        const std::size_t n = r.between(1, 2);
        for (std::size_t i = 0; i < n; ++i) {
            s.regexps.push_back(regexpFor(r.pick(kDomains)));
        }
    }
    return s;
}

std::optional<std::string> sectionNameFor(Random& r, std::size_t index) {
    if (!r.percent(30)) {
        return std::nullopt;
    }
    static constexpr std::array<std::string_view, 5> names = {
        "Header", "Sidebar — ダーク", "Comments \"thread\"", "Player\\Controls", "Подвал"};
    return std::string(names[index % names.size()]);
}

// Splits `total` bytes over `sections` parts of uneven size.
std::vector<std::size_t> splitSizes(Random& r, std::size_t total, std::size_t sections) {
    std::vector<std::size_t> weights(sections);
    std::size_t sum = 0;
    for (std::size_t& w : weights) {
        w = r.between(1, 8);
        sum += w;
    }
    std::vector<std::size_t> sizes;
    for (std::size_t w : weights) {
        sizes.push_back(total * w / sum);
    }
    return sizes;
}

constexpr std::array<std::string_view, 8> kVariableTypes = {
    "text", "color", "checkbox", "number", "range", "dropdown", "select", "image"};

std::vector<variableOption> makeOptions(Random& r, std::string_view type) {
    std::vector<variableOption> options;
    const std::size_t n = r.between(2, 6);
    static constexpr std::array<std::string_view, 6> labels = {
        "Dark — тёмный", "Light", "High \"contrast\"", "セピア", "Blue ★", "Off"};
    for (std::size_t i = 0; i < n; ++i) {
        variableOption o;
        if (!r.percent(15)) {
            o.name = "option" + std::to_string(i + 1);
        }
        if (!r.percent(10)) {
            o.label = std::string(labels[i % labels.size()]);
        }
        if (type == "image") {
            o.value = "https://images.example.net/backgrounds/" + hexDigits(r, 12) + ".png";
        } else if (r.percent(40)) {
            // A block of CSS: several lines, quotes and a backslash.
            std::string value = "background: url(\"https://images.example.net/";
            value += hexDigits(r, 8);
            value += ".jpg\");\ncolor: ";
            value += hexColor(r);
            value += ";\ncontent: \"\\2192\";";
            o.value = std::move(value);
        } else {
            o.value = hexColor(r);
        }
        options.push_back(std::move(o));
    }
    return options;
}

userVariable makeVariable(Random& r, std::size_t index) {
    userVariable v;
    v.type = std::string(kVariableTypes[(index + r.below(3)) % kVariableTypes.size()]);
    v.name = v.type + "-" + std::to_string(index);
    static constexpr std::array<std::string_view, 6> labels = {
        "Accent colour 🎨", "Размер шрифта", "背景画像", "Font \"family\"", "Width (px)", "Hide"};
    v.label = std::string(labels[r.below(labels.size())]);
    if (v.type == "text") {
        v.defaultValue = r.percent(50) ? "\"Fira Code\", monospace" : "Segoe UI";
    } else if (v.type == "color") {
        v.defaultValue = hexColor(r);
    } else if (v.type == "checkbox") {
        v.defaultValue = r.percent(50) ? "1" : "0";
    } else if (v.type == "number") {
        v.defaultValue = std::to_string(r.between(8, 32));
        if (r.percent(85)) {
            v.rangeOptions = rangeOpts{8, 32, 1, std::nullopt};
            if (r.percent(70)) {
                v.rangeOptions->units = "px";
            }
        }
    } else if (v.type == "range") {
        if (r.percent(50)) {
            v.defaultValue = "0.8";
            v.rangeOptions = rangeOpts{0, 1, 0.05, std::nullopt};
        } else {
            v.defaultValue = "180";
            v.rangeOptions = rangeOpts{0, 360, 7.5, std::string("deg")};
        }
    } else {
        v.selectOptions = makeOptions(r, v.type);
        v.defaultValue = std::to_string(r.below(v.selectOptions->size()));
    }
    if (r.percent(60)) {
        if (v.selectOptions) {
            v.currentValue = std::to_string(r.below(v.selectOptions->size()));
        } else {
            v.currentValue = v.defaultValue;
        }
    }
    return v;
}

// What variable substitution makes of code that uses placeholders.
std::string substitute(std::string code, const std::vector<userVariable>& variables) {
    for (const userVariable& v : variables) {
        const std::string placeholder = "/*[[" + v.name + "]]*/";
        const std::string& value = v.currentValue ? *v.currentValue : v.defaultValue;
        for (std::size_t at = code.find(placeholder); at != std::string::npos;
             at = code.find(placeholder, at + value.size())) {
            code.replace(at, placeholder.size(), value);
        }
    }
    return code;
}

// Puts placeholders of the variables into the code, as catalogue styles with settings do.
void addPlaceholders(Random& r, std::string& code, const std::vector<userVariable>& variables) {
    std::string::size_type at = 0;
    while (true) {
        at = code.find("color: ", at);
        if (at == std::string::npos) {
            break;
        }
        at += 7;
        if (r.percent(30)) {
            const userVariable& v = variables[r.below(variables.size())];
            code.insert(at, "/*[[" + v.name + "]]*/ ");
        }
    }
}

std::optional<std::vector<std::string>> maybeList(Random& r, std::string_view prefix) {
    if (!r.percent(50)) {
        return std::nullopt;
    }
    std::vector<std::string> list;
    const std::size_t n = r.below(4);
    for (std::size_t i = 0; i < n; ++i) {
        list.push_back(std::string(prefix) + std::string(r.pick(kDomains)));
    }
    return list;
}

enum class Size { small, medium, large };

styleContainer makeStyle(Random& r, std::size_t index, Size size,
                         std::unordered_set<std::int64_t>& usedIDs) {
    styleContainer s;
    do {
        s.uniqueID = static_cast<std::int64_t>(r.next() & 0xffffffffu);
    } while (!usedIDs.insert(s.uniqueID).second);

    const std::size_t origin = r.below(100);
    s.source = origin < 55 ? "usorg" : (origin < 90 ? "usercss" : "custom");
    s.isEnabled = r.percent(80);

    Language language = Language::css;
    if (s.source == "usercss") {
        const std::size_t p = r.below(100);
        s.preprocessor = p < 60 ? "default" : (p < 80 ? "less" : (p < 95 ? "stylus" : "uso"));
        language = s.preprocessor == "less"     ? Language::less
                   : s.preprocessor == "stylus" ? Language::stylus
                                                : Language::css;
    } else if (s.source == "usorg") {
        s.preprocessor = r.percent(20) ? "uso" : "default";
    } else {
        s.preprocessor = "default";
    }

    styleJSON& data = s.styleData;
    // One draw per statement: the order in which operands of + are evaluated is unspecified.
    data.name = r.pick(kStyleNames);
    data.name += " for ";
    data.name += r.pick(kDomains);
    data.name += " #" + std::to_string(index);
    if (s.source == "usorg") {
        s.userstyleID = static_cast<std::int64_t>(r.between(1000, 250000));
        const std::string id = std::to_string(s.userstyleID);
        data.url = "https://catalogue.example/styles/" + id;
        data.updateUrl = "https://catalogue.example/styles/" + id + ".json";
        data.md5Url = "https://update.catalogue.example/" + id + ".md5";
        data.originalMd5 = hexDigits(r, 32);
    }

    // Variables first, so the code can refer to them.
    const bool hasVariables = s.preprocessor == "uso" || r.percent(10);
    if (hasVariables) {
        std::vector<userVariable> variables;
        const std::size_t n = r.between(1, 12);
        for (std::size_t i = 0; i < n; ++i) {
            variables.push_back(makeVariable(r, i));
        }
        s.userVariables = std::move(variables);
    } else if (r.percent(50)) {
        s.userVariables = std::vector<userVariable>{};  // as a newly made style has
    }

    std::size_t total = 0;
    std::size_t sectionCount = 0;
    switch (size) {
        case Size::small:
            // Most user styles are short: sizes lean towards the low end of the range.
            total = r.below(9001);
            total = 1000 + total * r.below(9001) / 9000;
            sectionCount = r.between(1, 5);
            break;
        case Size::medium:
            total = r.between(10000, 40000);
            sectionCount = r.between(2, 8);
            break;
        case Size::large:
            total = r.between(280000, 320000);
            sectionCount = r.between(3, 8);
            break;
    }
    const Layout layout = layoutFor(r);
    const bool compiled = language != Language::css;
    const bool compiles = compiled && r.percent(85);
    if (compiles) {
        data.compSections = std::vector<styleSection>{};
    }
    std::size_t sectionIndex = 0;
    for (std::size_t bytes : splitSizes(r, total, sectionCount)) {
        styleSection section = makeSectionRules(r);
        section.sectionName = sectionNameFor(r, sectionIndex++);
        section.code = makeCode(r, language, bytes, layout);
        if (compiles) {
            // The compiled form applies to the same pages and is plain CSS of about that size.
            styleSection out = section;
            out.code = makeCode(r, Language::css, bytes, layout);
            out.sectionName.reset();
            data.compSections->push_back(std::move(out));
        } else if (hasVariables && !s.userVariables->empty()) {
            addPlaceholders(r, section.code, *s.userVariables);
            section.compiledcode = substitute(section.code, *s.userVariables);
        }
        data.sections.push_back(std::move(section));
    }

    if (s.source != "custom" || r.percent(30)) {
        s.version = std::to_string(r.between(1, 5));
        s.version += "." + std::to_string(r.below(20));
        s.version += "." + std::to_string(r.below(10));
        s.namespace_ = "github.com/author" + std::to_string(index % 97);
        s.description =
            "Restyles " + std::string(r.pick(kDomains)) +
            " with a darker palette.\nЗаменяет цвета — 替换颜色.\n\"Quoted\" text and a \\ too.";
        s.author = std::string(r.pick(kAuthors));
        s.homepageURL = "https://styles.example.com/" + std::to_string(index);
        s.supportURL = "https://styles.example.com/" + std::to_string(index) + "/issues";
        s.license = std::string(r.pick(kLicenses));
    }
    if (s.source == "usercss") {
        s.downloadedFrom = "https://raw.example.com/styles/" + std::to_string(index) + ".user.css";
        if (r.percent(70)) {
            s.updateURL = s.downloadedFrom;
        }
    }

    if (r.percent(15)) {
        s.exclURL = maybeList(r, "https://");
        s.exclDomain = maybeList(r, "");
        s.exclPrefix = maybeList(r, "https://");
        if (r.percent(50)) {
            s.exclRegExp =
                std::vector<std::string>{"^https://[^/]+\\.example\\.com/(issues|pulls)/\\d+$"};
        }
    }
    if (r.percent(70)) {
        s.allowIframe = r.percent(80);
    }
    const std::size_t theme = r.below(100);
    if (theme < 10) {
        s.systemTheme = "dark";
    } else if (theme < 15) {
        s.systemTheme = "light";
    } else if (theme < 25) {
        s.systemTheme = "none";
    }
    if (r.percent(95)) {
        // Between 2016 and 2024, with a fraction of a second.
        const auto seconds = static_cast<double>(r.between(480000000, 750000000));
        const double fraction = static_cast<double>(r.below(1000000)) / 1e6;
        s.dateModified = Date{seconds + fraction};
    }
    return s;
}

}  // namespace

styleDatabase generateLibrary(const LibraryShape& shape) {
    Random r(shape.seed);
    styleDatabase db;
    db.styles.reserve(shape.styles);
    db.randomHash = static_cast<std::int64_t>(r.next() & 0xffffffffu);
    db.dateModified = Date{737000000.25};
    const std::size_t largeEvery =
        shape.largeStyles == 0 ? 0 : std::max<std::size_t>(1, shape.styles / shape.largeStyles);
    std::unordered_set<std::int64_t> usedIDs;
    for (std::size_t i = 0; i < shape.styles; ++i) {
        Size size = Size::small;
        if (largeEvery != 0 && i % largeEvery == largeEvery / 2 &&
            i / largeEvery < shape.largeStyles) {
            size = Size::large;
        } else if (shape.mediumEvery != 0 && i % shape.mediumEvery == 4) {
            size = Size::medium;
        }
        db.styles.push_back(makeStyle(r, i, size, usedIDs));
    }
    return db;
}

}  // namespace orlavine::bench
