#include "model/record_json.h"

#include <boost/json.hpp>
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

template <class T>
void putOpt(json::object& o, std::string_view key, const std::optional<T>& v) {
    if (v) {
        o.emplace(key, *v);
    }
}
void putOpt(json::object& o, std::string_view key, const std::optional<std::string>& v) {
    if (v) {
        o.emplace(key, json::string_view(*v));
    }
}
void putOpt(json::object& o, std::string_view key, const std::optional<Date>& v) {
    if (v) {
        o.emplace(key, v->sinceReference);
    }
}
void putOptStrings(json::object& o, std::string_view key,
                   const std::optional<std::vector<std::string>>& list) {
    if (list) {
        putStrings(o, key, *list);
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

json::object variableToJson(const userVariable& v, const json::storage_ptr& sp) {
    json::object o(sp);
    o.emplace("type", json::string_view(v.type));
    o.emplace("name", json::string_view(v.name));
    o.emplace("label", json::string_view(v.label));
    o.emplace("defaultValue", json::string_view(v.defaultValue));
    if (v.selectOptions) {
        json::array a(sp);
        for (const variableOption& opt : *v.selectOptions) {
            json::object oo(sp);
            putOpt(oo, "name", opt.name);
            putOpt(oo, "label", opt.label);
            putOpt(oo, "value", opt.value);
            a.emplace_back(std::move(oo));
        }
        o.emplace("selectOptions", std::move(a));
    }
    if (v.rangeOptions) {
        json::object r(sp);
        r.emplace("min", v.rangeOptions->min);
        r.emplace("max", v.rangeOptions->max);
        r.emplace("step", v.rangeOptions->step);
        putOpt(r, "units", v.rangeOptions->units);
        o.emplace("rangeOptions", std::move(r));
    }
    putOpt(o, "currentValue", v.currentValue);
    return o;
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

json::object styleToObject(const styleContainer& s, const json::storage_ptr& sp) {
    json::object o(sp);
    o.reserve(24);
    o.emplace("uniqueID", s.uniqueID);
    o.emplace("styleData", styleJSONToObject(s.styleData, sp));
    o.emplace("isEnabled", s.isEnabled);
    o.emplace("source", json::string_view(s.source));
    o.emplace("userstyleID", s.userstyleID);
    o.emplace("version", json::string_view(s.version));
    o.emplace("namespace", json::string_view(s.namespace_));
    o.emplace("description", json::string_view(s.description));
    o.emplace("author", json::string_view(s.author));
    o.emplace("homepageURL", json::string_view(s.homepageURL));
    o.emplace("supportURL", json::string_view(s.supportURL));
    o.emplace("license", json::string_view(s.license));
    o.emplace("downloadedFrom", json::string_view(s.downloadedFrom));
    o.emplace("preprocessor", json::string_view(s.preprocessor));
    putOptStrings(o, "exclURL", s.exclURL);
    putOptStrings(o, "exclDomain", s.exclDomain);
    putOptStrings(o, "exclPrefix", s.exclPrefix);
    putOptStrings(o, "exclRegExp", s.exclRegExp);
    putOpt(o, "allowIframe", s.allowIframe);
    putOpt(o, "updateURL", s.updateURL);
    putOpt(o, "systemTheme", s.systemTheme);
    if (s.userVariables) {
        json::array a(sp);
        a.reserve(s.userVariables->size());
        for (const userVariable& v : *s.userVariables) {
            a.emplace_back(variableToJson(v, sp));
        }
        o.emplace("userVariables", std::move(a));
    }
    putOpt(o, "dateModified", s.dateModified);
    return o;
}

}  // namespace

Result<styleDatabase> decodeDatabase(std::string_view text) {
    return decodeText<styleDatabase>(text, readDatabase);
}

std::string encodeDatabase(const styleDatabase& db) {
    json::monotonic_resource arena;
    json::storage_ptr sp(&arena);
    json::object o(sp);
    o.emplace("dbVersion", styleDatabase::kVersion);
    json::array styles(sp);
    styles.reserve(db.styles.size());
    for (const styleContainer& s : db.styles) {
        styles.emplace_back(styleToObject(s, sp));
    }
    o.emplace("styles", std::move(styles));
    o.emplace("randomHash", db.randomHash);
    putOpt(o, "dateModified", db.dateModified);
    return json::serialize(o);
}

Result<styleContainer> decodeStyle(std::string_view text) {
    return decodeText<styleContainer>(text, readStyle);
}

std::string encodeStyle(const styleContainer& style) {
    json::monotonic_resource arena;
    return json::serialize(styleToObject(style, json::storage_ptr(&arena)));
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
