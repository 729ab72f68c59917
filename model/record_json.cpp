#include "model/record_json.h"

#include <array>
#include <boost/json.hpp>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

namespace orlavine {
namespace {

namespace json = boost::json;

// Thrown inside this file only; every public function turns it into an Error.
struct DecodeFailure {
    std::string message;
};

// Decodes one level of a record and remembers where it is for messages.
class Reader {
  public:
    Reader(const json::object& object, std::string path)
        : object_(object), path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    const json::value* find(std::string_view key) const {
        const json::value* v = object_.if_contains(key);
        if (v != nullptr && v->is_null()) {
            return nullptr;
        }
        return v;
    }

    const json::value& require(std::string_view key) const {
        const json::value* v = find(key);
        if (v == nullptr) {
            fail(key, "is missing");
        }
        return *v;
    }

    [[noreturn]] void fail(std::string_view key, std::string_view what) const {
        throw DecodeFailure{(path_.empty() ? std::string() : path_ + ".") + std::string(key) + " " +
                            std::string(what)};
    }

    std::string string(std::string_view key) const { return asString(require(key), key); }
    std::int64_t integer(std::string_view key) const { return asInt(require(key), key); }
    double number(std::string_view key) const { return asDouble(require(key), key); }
    bool boolean(std::string_view key) const { return asBool(require(key), key); }

    std::optional<std::string> optString(std::string_view key) const {
        const json::value* v = find(key);
        return v ? std::optional<std::string>(asString(*v, key)) : std::nullopt;
    }
    std::optional<bool> optBool(std::string_view key) const {
        const json::value* v = find(key);
        return v ? std::optional<bool>(asBool(*v, key)) : std::nullopt;
    }
    std::optional<Date> optDate(std::string_view key) const {
        const json::value* v = find(key);
        return v ? std::optional<Date>(Date{asDouble(*v, key)}) : std::nullopt;
    }

    std::vector<std::string> strings(std::string_view key) const {
        return asStrings(require(key), key);
    }
    std::optional<std::vector<std::string>> optStrings(std::string_view key) const {
        const json::value* v = find(key);
        return v ? std::optional(asStrings(*v, key)) : std::nullopt;
    }

    const json::array& array(std::string_view key, const json::value& v) const {
        if (!v.is_array()) {
            fail(key, "is not an array");
        }
        return v.get_array();
    }
    Reader child(std::string_view key, const json::value& v) const {
        if (!v.is_object()) {
            fail(key, "is not an object");
        }
        return Reader(v.get_object(), (path_.empty() ? "" : path_ + ".") + std::string(key));
    }
    Reader element(std::string_view key, std::size_t index, const json::value& v) const {
        const std::string name = std::string(key) + "[" + std::to_string(index) + "]";
        if (!v.is_object()) {
            fail(name, "is not an object");
        }
        return Reader(v.get_object(), (path_.empty() ? "" : path_ + ".") + name);
    }

  private:
    std::string asString(const json::value& v, std::string_view key) const {
        if (!v.is_string()) {
            fail(key, "is not a string");
        }
        const json::string& s = v.get_string();
        return std::string(s.data(), s.size());
    }

    std::int64_t asInt(const json::value& v, std::string_view key) const {
        switch (v.kind()) {
            case json::kind::int64:
                return v.get_int64();
            case json::kind::uint64:
                if (v.get_uint64() <=
                    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                    return static_cast<std::int64_t>(v.get_uint64());
                }
                fail(key, "is out of range");
            case json::kind::double_: {
                // Other writers may store whole numbers as 5.0; accept those, nothing else.
                const double d = v.get_double();
                if (std::trunc(d) == d && d >= -9.2233720368547758e18 &&
                    d < 9.2233720368547758e18) {
                    return static_cast<std::int64_t>(d);
                }
                fail(key, "is not an integer");
            }
            default:
                fail(key, "is not an integer");
        }
    }

    double asDouble(const json::value& v, std::string_view key) const {
        switch (v.kind()) {
            case json::kind::int64:
                return static_cast<double>(v.get_int64());
            case json::kind::uint64:
                return static_cast<double>(v.get_uint64());
            case json::kind::double_:
                return v.get_double();
            default:
                fail(key, "is not a number");
        }
    }

    bool asBool(const json::value& v, std::string_view key) const {
        if (!v.is_bool()) {
            fail(key, "is not true or false");
        }
        return v.get_bool();
    }

    std::vector<std::string> asStrings(const json::value& v, std::string_view key) const {
        const json::array& items = array(key, v);
        std::vector<std::string> out;
        out.reserve(items.size());
        for (const json::value& item : items) {
            out.push_back(asString(item, key));
        }
        return out;
    }

    const json::object& object_;
    std::string path_;
};

template <class T, class F>
std::vector<T> readList(const Reader& r, std::string_view key, const json::value& v, F&& read) {
    const json::array& items = r.array(key, v);
    std::vector<T> out;
    out.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        out.push_back(read(r.element(key, i, items[i])));
    }
    return out;
}

styleSection readSection(const Reader& r) {
    styleSection s;
    s.urls = r.strings("urls");
    s.urlPrefixes = r.strings("urlPrefixes");
    s.domains = r.strings("domains");
    s.regexps = r.strings("regexps");
    s.code = r.string("code");
    s.compiledcode = r.optString("compiledcode");
    s.sectionName = r.optString("sectionName");
    return s;
}

variableOption readOption(const Reader& r) {
    return variableOption{r.optString("name"), r.optString("label"), r.optString("value")};
}

rangeOpts readRange(const Reader& r) {
    return rangeOpts{r.number("min"), r.number("max"), r.number("step"), r.optString("units")};
}

userVariable readVariable(const Reader& r) {
    userVariable v;
    v.type = r.string("type");
    v.name = r.string("name");
    v.label = r.string("label");
    v.defaultValue = r.string("defaultValue");
    if (const json::value* opts = r.find("selectOptions")) {
        v.selectOptions = readList<variableOption>(r, "selectOptions", *opts, readOption);
    }
    if (const json::value* range = r.find("rangeOptions")) {
        v.rangeOptions = readRange(r.child("rangeOptions", *range));
    }
    v.currentValue = r.optString("currentValue");
    return v;
}

styleJSON readStyleJSON(const Reader& r) {
    styleJSON j;
    j.url = r.string("url");
    j.updateUrl = r.string("updateUrl");
    j.md5Url = r.string("md5Url");
    j.originalMd5 = r.string("originalMd5");
    j.name = r.string("name");
    j.sections = readList<styleSection>(r, "sections", r.require("sections"), readSection);
    if (const json::value* comp = r.find("compSections")) {
        j.compSections = readList<styleSection>(r, "compSections", *comp, readSection);
    }
    return j;
}

styleContainer readStyle(const Reader& r) {
    styleContainer s;
    s.uniqueID = r.integer("uniqueID");
    s.styleData = readStyleJSON(r.child("styleData", r.require("styleData")));
    s.isEnabled = r.boolean("isEnabled");
    s.source = r.string("source");
    s.userstyleID = r.integer("userstyleID");
    s.version = r.string("version");
    s.namespace_ = r.string("namespace");
    s.description = r.string("description");
    s.author = r.string("author");
    s.homepageURL = r.string("homepageURL");
    s.supportURL = r.string("supportURL");
    s.license = r.string("license");
    s.downloadedFrom = r.string("downloadedFrom");
    s.preprocessor = r.string("preprocessor");
    s.exclURL = r.optStrings("exclURL");
    s.exclDomain = r.optStrings("exclDomain");
    s.exclPrefix = r.optStrings("exclPrefix");
    s.exclRegExp = r.optStrings("exclRegExp");
    s.allowIframe = r.optBool("allowIframe");
    s.updateURL = r.optString("updateURL");
    s.systemTheme = r.optString("systemTheme");
    if (const json::value* vars = r.find("userVariables")) {
        s.userVariables = readList<userVariable>(r, "userVariables", *vars, readVariable);
    }
    s.dateModified = r.optDate("dateModified");
    return s;
}

styleDatabase readDatabase(const Reader& r) {
    styleDatabase db;  // dbVersion is never read: a decoded database is always version 1
    db.styles = readList<styleContainer>(r, "styles", r.require("styles"), readStyle);
    db.randomHash = r.integer("randomHash");
    db.dateModified = r.optDate("dateModified");
    return db;
}

// Parses text into a value held by `storage`, within the size and depth limits.
json::value parseText(std::string_view text, const json::storage_ptr& storage) {
    if (text.size() > kMaxDatabaseBytes) {
        throw DecodeFailure{"the file is larger than " +
                            std::to_string(kMaxDatabaseBytes / (1024 * 1024)) + " MB"};
    }
    json::parse_options options;
    options.max_depth = kMaxJsonDepth;
    boost::system::error_code ec;
    json::value value =
        json::parse(json::string_view(text.data(), text.size()), ec, storage, options);
    if (ec) {
        throw DecodeFailure{"not valid JSON: " + ec.message()};
    }
    return value;
}

template <class T, class F>
Result<T> decodeText(std::string_view text, F&& read) {
    try {
        json::monotonic_resource arena;
        const json::value root = parseText(text, json::storage_ptr(&arena));
        if (!root.is_object()) {
            return Error{"the top level is not an object"};
        }
        return read(Reader(root.get_object(), ""));
    } catch (const DecodeFailure& failure) {
        return Error{failure.message};
    } catch (const std::bad_alloc&) {
        return Error{"out of memory while decoding"};
    }
}

// ---- encoding ----

void putStrings(json::object& o, std::string_view key, const std::vector<std::string>& list) {
    json::array& a = o.emplace(key, json::array(o.storage())).first->value().get_array();
    a.reserve(list.size());
    for (const std::string& s : list) {
        a.emplace_back(json::string_view(s));
    }
}

void putOpt(json::object& o, std::string_view key, const std::optional<std::string>& v) {
    if (v) {
        o.emplace(key, json::string_view(*v));
    }
}
json::object sectionToJson(const styleSection& s, const json::storage_ptr& sp) {
    json::object o(sp);
    o.reserve(7);
    putStrings(o, "urls", s.urls);
    putStrings(o, "urlPrefixes", s.urlPrefixes);
    putStrings(o, "domains", s.domains);
    putStrings(o, "regexps", s.regexps);
    o.emplace("code", json::string_view(s.code));
    putOpt(o, "compiledcode", s.compiledcode);
    putOpt(o, "sectionName", s.sectionName);
    return o;
}

json::array sectionsToJson(const std::vector<styleSection>& sections, const json::storage_ptr& sp) {
    json::array a(sp);
    a.reserve(sections.size());
    for (const styleSection& s : sections) {
        a.emplace_back(sectionToJson(s, sp));
    }
    return a;
}

json::object styleJSONToObject(const styleJSON& j, const json::storage_ptr& sp) {
    json::object o(sp);
    o.reserve(7);
    o.emplace("url", json::string_view(j.url));
    o.emplace("updateUrl", json::string_view(j.updateUrl));
    o.emplace("md5Url", json::string_view(j.md5Url));
    o.emplace("originalMd5", json::string_view(j.originalMd5));
    o.emplace("name", json::string_view(j.name));
    o.emplace("sections", sectionsToJson(j.sections, sp));
    if (j.compSections) {
        o.emplace("compSections", sectionsToJson(*j.compSections, sp));
    }
    return o;
}

// The database and style encoders write the text directly, without building a document tree
// first. The bytes are the same as serializing the equivalent Boost.JSON value: the members in
// the order below, strings escaped as Boost.JSON escapes them, numbers formatted by Boost.JSON.

// For each byte of a string: 0 to copy it as is, 'u' for \u00XX, else the letter after the
// backslash. Only control characters, the quote and the backslash are escaped.
constexpr std::array<char, 256> kEscapes = [] {
    std::array<char, 256> table{};
    for (std::size_t c = 0; c < 0x20; ++c) {
        table[c] = 'u';
    }
    table['\b'] = 'b';
    table['\t'] = 't';
    table['\n'] = 'n';
    table['\f'] = 'f';
    table['\r'] = 'r';
    table['"'] = '"';
    table['\\'] = '\\';
    return table;
}();

class Writer {
  public:
    explicit Writer(std::string& out) : out_(out) {}

    // Opens an object; each member() after it puts the comma where one is needed.
    void open() {
        out_ += '{';
        first_ = true;
    }
    void close() {
        out_ += '}';
        first_ = false;
    }
    // `key` is one of our member names: plain ASCII, never in need of escapes.
    void member(std::string_view key) {
        if (!first_) {
            out_ += ',';
        }
        first_ = false;
        out_ += '"';
        out_ += key;
        out_ += "\":";
    }
    void openArray() { out_ += '['; }
    void closeArray() { out_ += ']'; }
    void comma() { out_ += ','; }

    void string(std::string_view s) {
        out_ += '"';
        const char* run = s.data();
        const char* const end = s.data() + s.size();
        for (const char* p = run; p != end; ++p) {
            const auto byte = static_cast<unsigned char>(*p);
            const char escape = kEscapes[byte];
            if (escape == 0) {
                continue;
            }
            out_.append(run, static_cast<std::size_t>(p - run));
            if (escape == 'u') {
                const char text[6] = {
                    '\\', 'u', '0', '0', kHexDigits[byte >> 4], kHexDigits[byte & 15]};
                out_.append(text, sizeof text);
            } else {
                const char text[2] = {'\\', escape};
                out_.append(text, sizeof text);
            }
            run = p + 1;
        }
        out_.append(run, static_cast<std::size_t>(end - run));
        out_ += '"';
    }

    void integer(std::int64_t v) {
        char text[24];
        const auto result = std::to_chars(text, text + sizeof text, v);
        out_.append(text, static_cast<std::size_t>(result.ptr - text));
    }

    // Boost.JSON's own formatting, so that numbers read back as they do today.
    void number(double d) {
        const json::value v(d);
        char text[64];
        serializer_.reset(&v);
        while (!serializer_.done()) {
            const json::string_view part = serializer_.read(text);
            out_.append(part.data(), part.size());
        }
    }

    void boolean(bool b) { out_ += b ? "true" : "false"; }

    void strings(const std::vector<std::string>& list) {
        openArray();
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (i > 0) {
                comma();
            }
            string(list[i]);
        }
        closeArray();
    }

  private:
    static constexpr char kHexDigits[] = "0123456789abcdef";

    std::string& out_;
    json::serializer serializer_;
    bool first_ = true;
};

// Members of optional fields: written only when the field is present.
void writeOpt(Writer& w, std::string_view key, const std::optional<std::string>& v) {
    if (v) {
        w.member(key);
        w.string(*v);
    }
}
void writeOpt(Writer& w, std::string_view key, const std::optional<bool>& v) {
    if (v) {
        w.member(key);
        w.boolean(*v);
    }
}
void writeOpt(Writer& w, std::string_view key, const std::optional<Date>& v) {
    if (v) {
        w.member(key);
        w.number(v->sinceReference);
    }
}
void writeOpt(Writer& w, std::string_view key, const std::optional<std::vector<std::string>>& v) {
    if (v) {
        w.member(key);
        w.strings(*v);
    }
}

template <class T, class F>
void writeList(Writer& w, const std::vector<T>& items, F&& write) {
    w.openArray();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            w.comma();
        }
        write(w, items[i]);
    }
    w.closeArray();
}

void writeSection(Writer& w, const styleSection& s) {
    w.open();
    w.member("urls");
    w.strings(s.urls);
    w.member("urlPrefixes");
    w.strings(s.urlPrefixes);
    w.member("domains");
    w.strings(s.domains);
    w.member("regexps");
    w.strings(s.regexps);
    w.member("code");
    w.string(s.code);
    writeOpt(w, "compiledcode", s.compiledcode);
    writeOpt(w, "sectionName", s.sectionName);
    w.close();
}

void writeOption(Writer& w, const variableOption& o) {
    w.open();
    writeOpt(w, "name", o.name);
    writeOpt(w, "label", o.label);
    writeOpt(w, "value", o.value);
    w.close();
}

void writeVariable(Writer& w, const userVariable& v) {
    w.open();
    w.member("type");
    w.string(v.type);
    w.member("name");
    w.string(v.name);
    w.member("label");
    w.string(v.label);
    w.member("defaultValue");
    w.string(v.defaultValue);
    if (v.selectOptions) {
        w.member("selectOptions");
        writeList(w, *v.selectOptions, writeOption);
    }
    if (v.rangeOptions) {
        w.member("rangeOptions");
        w.open();
        w.member("min");
        w.number(v.rangeOptions->min);
        w.member("max");
        w.number(v.rangeOptions->max);
        w.member("step");
        w.number(v.rangeOptions->step);
        writeOpt(w, "units", v.rangeOptions->units);
        w.close();
    }
    writeOpt(w, "currentValue", v.currentValue);
    w.close();
}

void writeStyleJSON(Writer& w, const styleJSON& j) {
    w.open();
    w.member("url");
    w.string(j.url);
    w.member("updateUrl");
    w.string(j.updateUrl);
    w.member("md5Url");
    w.string(j.md5Url);
    w.member("originalMd5");
    w.string(j.originalMd5);
    w.member("name");
    w.string(j.name);
    w.member("sections");
    writeList(w, j.sections, writeSection);
    if (j.compSections) {
        w.member("compSections");
        writeList(w, *j.compSections, writeSection);
    }
    w.close();
}

void writeStyle(Writer& w, const styleContainer& s) {
    w.open();
    w.member("uniqueID");
    w.integer(s.uniqueID);
    w.member("styleData");
    writeStyleJSON(w, s.styleData);
    w.member("isEnabled");
    w.boolean(s.isEnabled);
    w.member("source");
    w.string(s.source);
    w.member("userstyleID");
    w.integer(s.userstyleID);
    w.member("version");
    w.string(s.version);
    w.member("namespace");
    w.string(s.namespace_);
    w.member("description");
    w.string(s.description);
    w.member("author");
    w.string(s.author);
    w.member("homepageURL");
    w.string(s.homepageURL);
    w.member("supportURL");
    w.string(s.supportURL);
    w.member("license");
    w.string(s.license);
    w.member("downloadedFrom");
    w.string(s.downloadedFrom);
    w.member("preprocessor");
    w.string(s.preprocessor);
    writeOpt(w, "exclURL", s.exclURL);
    writeOpt(w, "exclDomain", s.exclDomain);
    writeOpt(w, "exclPrefix", s.exclPrefix);
    writeOpt(w, "exclRegExp", s.exclRegExp);
    writeOpt(w, "allowIframe", s.allowIframe);
    writeOpt(w, "updateURL", s.updateURL);
    writeOpt(w, "systemTheme", s.systemTheme);
    if (s.userVariables) {
        w.member("userVariables");
        writeList(w, *s.userVariables, writeVariable);
    }
    writeOpt(w, "dateModified", s.dateModified);
    w.close();
}

// A little more than the text will need, so the output grows once instead of doubling its way
// up (which would briefly hold two copies of a large library).
std::size_t textSizeHint(const std::vector<std::string>& list) {
    std::size_t n = 2;
    for (const std::string& s : list) {
        n += s.size() + 3;
    }
    return n;
}
std::size_t textSizeHint(const std::optional<std::string>& s) {
    return s ? s->size() + 32 : 0;
}
std::size_t textSizeHint(const std::vector<styleSection>& sections) {
    std::size_t n = 2;
    for (const styleSection& s : sections) {
        n += 96 + textSizeHint(s.urls) + textSizeHint(s.urlPrefixes) + textSizeHint(s.domains) +
             textSizeHint(s.regexps) + s.code.size() + textSizeHint(s.compiledcode) +
             textSizeHint(s.sectionName);
    }
    return n;
}
std::size_t textSizeHint(const styleContainer& s) {
    std::size_t n = 512 + s.styleData.url.size() + s.styleData.updateUrl.size() +
                    s.styleData.md5Url.size() + s.styleData.originalMd5.size() +
                    s.styleData.name.size() + textSizeHint(s.styleData.sections) + s.source.size() +
                    s.version.size() + s.namespace_.size() + s.description.size() +
                    s.author.size() + s.homepageURL.size() + s.supportURL.size() +
                    s.license.size() + s.downloadedFrom.size() + s.preprocessor.size();
    if (s.styleData.compSections) {
        n += textSizeHint(*s.styleData.compSections);
    }
    for (const auto* list : {&s.exclURL, &s.exclDomain, &s.exclPrefix, &s.exclRegExp}) {
        n += *list ? textSizeHint(**list) + 16 : 0;
    }
    n += textSizeHint(s.updateURL) + textSizeHint(s.systemTheme);
    if (s.userVariables) {
        for (const userVariable& v : *s.userVariables) {
            n += 128 + v.type.size() + v.name.size() + v.label.size() + v.defaultValue.size() +
                 textSizeHint(v.currentValue);
            if (v.selectOptions) {
                for (const variableOption& o : *v.selectOptions) {
                    n += 40 + textSizeHint(o.name) + textSizeHint(o.label) + textSizeHint(o.value);
                }
            }
            n += v.rangeOptions ? 128 + textSizeHint(v.rangeOptions->units) : 0;
        }
    }
    // Escapes: code has a line break every few dozen bytes, and quotes here and there.
    return n + n / 16;
}

}  // namespace

Result<styleDatabase> decodeDatabase(std::string_view text) {
    return decodeText<styleDatabase>(text, readDatabase);
}

std::string encodeDatabase(const styleDatabase& db) {
    std::size_t hint = 128;
    for (const styleContainer& s : db.styles) {
        hint += textSizeHint(s);
    }
    std::string out;
    out.reserve(hint);
    Writer w(out);
    w.open();
    w.member("dbVersion");
    w.integer(styleDatabase::kVersion);
    w.member("styles");
    writeList(w, db.styles, writeStyle);
    w.member("randomHash");
    w.integer(db.randomHash);
    writeOpt(w, "dateModified", db.dateModified);
    w.close();
    return out;
}

Result<styleContainer> decodeStyle(std::string_view text) {
    return decodeText<styleContainer>(text, readStyle);
}

std::string encodeStyle(const styleContainer& style) {
    std::string out;
    out.reserve(textSizeHint(style));
    Writer w(out);
    writeStyle(w, style);
    return out;
}

Result<styleJSON> decodeStyleJSON(std::string_view text) {
    return decodeText<styleJSON>(text, readStyleJSON);
}

Result<styleJSON> decodeStyleJSON(const boost::json::value& value) {
    if (!value.is_object()) {
        return Error{"the style record is not an object"};
    }
    try {
        return readStyleJSON(Reader(value.get_object(), ""));
    } catch (const DecodeFailure& failure) {
        return Error{failure.message};
    }
}

boost::json::value styleJSONToJson(const styleJSON& record) {
    return styleJSONToObject(record, {});
}

}  // namespace orlavine
