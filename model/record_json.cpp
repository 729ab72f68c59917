#include "model/record_json.h"

#include <algorithm>
#include <array>
#include <boost/json.hpp>
#include <boost/json/basic_parser_impl.hpp>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>

#include "model/large_buffers.h"
#include "model/record_json_detail.h"
#include "text/text.h"
namespace orlavine {
namespace {

namespace json = boost::json;

// Thrown inside this file only; every public function turns it into an Error.
struct DecodeFailure {
    std::string message;
};

// Infinities become the largest finite number of their sign and NaN becomes 0: JSON has no
// text for them, and an encoder that wrote one would make the library file unreadable.
double finiteNumber(double d) {
    if (std::isnan(d)) {
        return 0;
    }
    if (std::isinf(d)) {
        return d > 0 ? std::numeric_limits<double>::max() : std::numeric_limits<double>::lowest();
    }
    return d;
}

// A double that holds a whole number within the range of Int, as that Int. Other writers may
// store whole numbers as 5.0; those are accepted, no other fraction.
std::optional<std::int64_t> wholeNumber(double d) {
    if (std::trunc(d) == d && d >= -9.2233720368547758e18 && d < 9.2233720368547758e18) {
        return static_cast<std::int64_t>(d);
    }
    return std::nullopt;
}

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
            case json::kind::double_:
                if (const std::optional<std::int64_t> whole = wholeNumber(v.get_double())) {
                    return *whole;
                }
                fail(key, "is not an integer");
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
                return finiteNumber(v.get_double());
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

// ---- decoding in one pass ----
//
// The public decoders first read the text in one pass straight into the records, with no
// document tree in between: that is faster and needs about half the memory. The one-pass reader
// handles only documents that decode: at the first thing it cannot take (a missing, repeated or
// mistyped member, broken JSON, anything unexpected) it gives up, and the tree reader above
// decodes the text again, giving the result and the message. So the tree reader alone decides
// what fails and how the failure reads; the one-pass reader must accept only what the tree
// reader accepts, and give the same records. Change the two together. Builds with assertions
// check every one-pass result against the tree reader's (see decodeText).

// A JSON value kind that a member takes.
enum class Type : std::uint8_t { string, integer, number, boolean, strings, object, objects };

struct Member {
    std::string_view name;
    Type type;
    bool required;
};

// Members of each record, in the order the encoder writes them. A member's index is its bit in
// Frame::seen.
constexpr std::array<Member, 3> kDatabaseMembers = {{
    {"styles", Type::objects, true},
    {"randomHash", Type::integer, true},
    {"dateModified", Type::number, false},
}};
constexpr std::array<Member, 23> kStyleMembers = {{
    {"uniqueID", Type::integer, true},      {"styleData", Type::object, true},
    {"isEnabled", Type::boolean, true},     {"source", Type::string, true},
    {"userstyleID", Type::integer, true},   {"version", Type::string, true},
    {"namespace", Type::string, true},      {"description", Type::string, true},
    {"author", Type::string, true},         {"homepageURL", Type::string, true},
    {"supportURL", Type::string, true},     {"license", Type::string, true},
    {"downloadedFrom", Type::string, true}, {"preprocessor", Type::string, true},
    {"exclURL", Type::strings, false},      {"exclDomain", Type::strings, false},
    {"exclPrefix", Type::strings, false},   {"exclRegExp", Type::strings, false},
    {"allowIframe", Type::boolean, false},  {"updateURL", Type::string, false},
    {"systemTheme", Type::string, false},   {"userVariables", Type::objects, false},
    {"dateModified", Type::number, false},
}};
constexpr std::array<Member, 7> kStyleJSONMembers = {{
    {"url", Type::string, true},
    {"updateUrl", Type::string, true},
    {"md5Url", Type::string, true},
    {"originalMd5", Type::string, true},
    {"name", Type::string, true},
    {"sections", Type::objects, true},
    {"compSections", Type::objects, false},
}};
constexpr std::array<Member, 7> kSectionMembers = {{
    {"urls", Type::strings, true},
    {"urlPrefixes", Type::strings, true},
    {"domains", Type::strings, true},
    {"regexps", Type::strings, true},
    {"code", Type::string, true},
    {"compiledcode", Type::string, false},
    {"sectionName", Type::string, false},
}};
constexpr std::array<Member, 7> kVariableMembers = {{
    {"type", Type::string, true},
    {"name", Type::string, true},
    {"label", Type::string, true},
    {"defaultValue", Type::string, true},
    {"selectOptions", Type::objects, false},
    {"rangeOptions", Type::object, false},
    {"currentValue", Type::string, false},
}};
constexpr std::array<Member, 3> kOptionMembers = {{
    {"name", Type::string, false},
    {"label", Type::string, false},
    {"value", Type::string, false},
}};
constexpr std::array<Member, 4> kRangeMembers = {{
    {"min", Type::number, true},
    {"max", Type::number, true},
    {"step", Type::number, true},
    {"units", Type::string, false},
}};

// The position of a member in its table, for the handlers below; naming a member that is not
// there stops the compilation.
template <std::size_t N>
consteval std::uint8_t slot(const std::array<Member, N>& members, std::string_view name) {
    for (std::size_t i = 0; i < N; ++i) {
        if (members[i].name == name) {
            return static_cast<std::uint8_t>(i);
        }
    }
    throw "no such member";
}

// Runs of members that the handlers index as arrays.
static_assert(slot(kSectionMembers, "urlPrefixes") == slot(kSectionMembers, "urls") + 1 &&
              slot(kSectionMembers, "domains") == slot(kSectionMembers, "urls") + 2 &&
              slot(kSectionMembers, "regexps") == slot(kSectionMembers, "urls") + 3);
static_assert(slot(kStyleMembers, "exclDomain") == slot(kStyleMembers, "exclURL") + 1 &&
              slot(kStyleMembers, "exclPrefix") == slot(kStyleMembers, "exclURL") + 2 &&
              slot(kStyleMembers, "exclRegExp") == slot(kStyleMembers, "exclURL") + 3);
static_assert(slot(kStyleJSONMembers, "url") == 0 && slot(kStyleJSONMembers, "updateUrl") == 1 &&
              slot(kStyleJSONMembers, "md5Url") == 2 &&
              slot(kStyleJSONMembers, "originalMd5") == 3 && slot(kStyleJSONMembers, "name") == 4);
static_assert(slot(kVariableMembers, "type") == 0 && slot(kVariableMembers, "name") == 1 &&
              slot(kVariableMembers, "label") == 2 && slot(kVariableMembers, "defaultValue") == 3);

// What a frame of the reader's stack stands for.
enum class Kind : std::uint8_t {
    // objects
    database,
    style,
    styleData,
    section,
    variable,
    option,
    range,
    // arrays
    styles,
    sections,
    variables,
    options,
    strings,
    // a value of a member we do not know, read and dropped
    skip,
};

template <std::size_t N>
constexpr std::uint32_t requiredBits(const std::array<Member, N>& members) {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < N; ++i) {
        if (members[i].required) {
            bits |= 1u << i;
        }
    }
    return bits;
}

struct Frame {
    Kind kind;
    void* target;            // the record or list being filled
    std::uint32_t seen = 0;  // objects: the members read so far; skip: the nesting depth
    std::uint8_t next = 0;   // objects: the member most likely to come next
};

// The reader's frames. One frame stands for one open object or array at most (a skipped value
// takes one however deep it is), and the parser refuses deeper nesting than kMaxJsonDepth, so
// a fixed array holds them all.
class FrameStack {
  public:
    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    const Frame& operator[](std::size_t i) const { return frames_[i]; }
    Frame& back() { return frames_[size_ - 1]; }
    // False when full, which the parser's depth limit leaves for broken invariants only.
    bool push(const Frame& f) {
        if (size_ == frames_.size()) {
            return false;
        }
        frames_[size_++] = f;
        return true;
    }
    void pop() { --size_; }

  private:
    std::array<Frame, kMaxJsonDepth + 1> frames_{};
    std::size_t size_ = 0;
};

// Whether `key` is the member name `name`, which has at most 16 bytes: compares the bytes a
// word at a time rather than through a call to memcmp.
inline bool isName(std::string_view key, std::string_view name) {
    const std::size_t n = name.size();
    if (key.size() != n) {
        return false;
    }
    const auto load = [](const char* p, auto word) {
        std::memcpy(&word, p, sizeof word);
        return word;
    };
    if (n >= 8) {  // the first and the last eight bytes, which overlap below 16
        return load(key.data(), std::uint64_t{}) == load(name.data(), std::uint64_t{}) &&
               load(key.data() + n - 8, std::uint64_t{}) ==
                   load(name.data() + n - 8, std::uint64_t{});
    }
    if (n >= 4) {
        return load(key.data(), std::uint32_t{}) == load(name.data(), std::uint32_t{}) &&
               load(key.data() + n - 4, std::uint32_t{}) ==
                   load(name.data() + n - 4, std::uint32_t{});
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (key[i] != name[i]) {
            return false;
        }
    }
    return true;
}

template <std::size_t N>
constexpr bool namesFitIsName(const std::array<Member, N>& members) {
    for (const Member& m : members) {
        if (m.name.size() > 16) {
            return false;
        }
    }
    return true;
}
static_assert(namesFitIsName(kDatabaseMembers) && namesFitIsName(kStyleMembers) &&
              namesFitIsName(kStyleJSONMembers) && namesFitIsName(kSectionMembers) &&
              namesFitIsName(kVariableMembers) && namesFitIsName(kOptionMembers) &&
              namesFitIsName(kRangeMembers));

// The parse events of boost::json::basic_parser, turned into records. Every handler returns
// false (which stops the parser) as soon as the document is not one the tree reader would
// decode to the same records.
class OnePassReader {
  public:
    static constexpr std::size_t max_array_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_object_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_string_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_key_size = static_cast<std::size_t>(-1);

    // `codeAsNumbers`: a section's code and compiledcode stand as whole numbers (the places of
    // their texts in an outline, see library_outline.h) and are kept as their decimal text.
    OnePassReader(Kind root, void* target, bool codeAsNumbers = false)
        : root_(root),
          rootTarget_(target),
          codeAsNumbers_(codeAsNumbers),
          gatherLists_(codeAsNumbers) {}

    bool on_document_begin(json::error_code&) { return true; }
    bool on_document_end(json::error_code&) { return frames_.empty() && done_; }

    bool on_object_begin(json::error_code& ec) {
        if (frames_.empty()) {
            if (done_) {
                return stop(ec);
            }
            return frames_.push(Frame{root_, rootTarget_}) || stop(ec);
        }
        Frame& top = frames_.back();
        switch (top.kind) {
            case Kind::skip:
                ++top.seen;
                return true;
            case Kind::styles:
                return push(ec, Kind::style, &list<styleContainer>(top).emplace_back());
            case Kind::sections:
                return push(ec, Kind::section, &newItem(sections_, top));
            case Kind::variables:
                return push(ec, Kind::variable, &newItem(variables_, top));
            case Kind::options:
                return push(ec, Kind::option, &newItem(options_, top));
            case Kind::strings:
                return stop(ec);
            default:
                break;
        }
        if (pending_ == kUnknown) {
            return push(ec, Kind::skip, nullptr, 1);
        }
        if (pendingMember().type != Type::object) {
            return stop(ec);
        }
        if (top.kind == Kind::style) {  // styleData
            return push(ec, Kind::styleData, &record<styleContainer>(top).styleData);
        }
        // rangeOptions, the only other object member
        return push(ec, Kind::range, &record<userVariable>(top).rangeOptions.emplace());
    }

    bool on_object_end(std::size_t, json::error_code& ec) {
        Frame& top = frames_.back();
        if (top.kind == Kind::skip) {
            return leaveSkipped();
        }
        if ((top.seen & requiredOf(top.kind)) != requiredOf(top.kind)) {
            return stop(ec);
        }
        frames_.pop();
        done_ = frames_.empty();
        return true;
    }

    bool on_array_begin(json::error_code& ec) {
        if (frames_.empty()) {
            return stop(ec);
        }
        Frame& top = frames_.back();
        if (top.kind == Kind::skip) {
            ++top.seen;
            return true;
        }
        if (!isObject(top.kind)) {
            return stop(ec);  // no list of ours holds lists
        }
        if (pending_ == kUnknown) {
            return push(ec, Kind::skip, nullptr, 1);
        }
        const Type type = pendingMember().type;
        if (type == Type::strings) {
            return push(ec, Kind::strings, &stringList(top));
        }
        if (type != Type::objects) {
            return stop(ec);
        }
        switch (top.kind) {
            case Kind::database:
                return push(ec, Kind::styles, &record<styleDatabase>(top).styles);
            case Kind::styleData: {
                styleJSON& data = record<styleJSON>(top);
                return push(ec, Kind::sections,
                            pending_ == slot(kStyleJSONMembers, "sections")
                                ? &data.sections
                                : &data.compSections.emplace());
            }
            case Kind::style:
                return push(ec, Kind::variables,
                            &record<styleContainer>(top).userVariables.emplace());
            default:  // Kind::variable: selectOptions
                return push(ec, Kind::options, &record<userVariable>(top).selectOptions.emplace());
        }
    }

    bool on_array_end(std::size_t, json::error_code&) {
        Frame& top = frames_.back();
        switch (top.kind) {
            case Kind::skip:
                return leaveSkipped();
            case Kind::sections:
                endList(sections_, list<styleSection>(top));
                break;
            case Kind::variables:
                endList(variables_, list<userVariable>(top));
                break;
            case Kind::options:
                endList(options_, list<variableOption>(top));
                break;
            case Kind::strings:
                endList(strings_, list<std::string>(top));
                break;
            default:  // Kind::styles
                break;
        }
        frames_.pop();
        return true;
    }

    bool on_key_part(json::string_view s, std::size_t, json::error_code&) {
        key_.append(s.data(), s.size());
        return true;
    }

    bool on_key(json::string_view s, std::size_t, json::error_code& ec) {
        Frame& top = frames_.back();
        std::string_view key(s.data(), s.size());
        if (!key_.empty()) {
            key_.append(s.data(), s.size());
            key = key_;
        }
        const bool ok = top.kind == Kind::skip || findMember(top, key);
        key_.clear();
        return ok || stop(ec);
    }

    bool on_string_part(json::string_view s, std::size_t, json::error_code& ec) {
        if (string_ == nullptr && !openString()) {
            return stop(ec);
        }
        if (string_ != &ignored_) {
            string_->append(s.data(), s.size());
        }
        return true;
    }

    bool on_string(json::string_view s, std::size_t, json::error_code& ec) {
        if (string_ == nullptr && !openString()) {
            return stop(ec);
        }
        if (string_ != &ignored_) {
            // A string in one piece, the most common, is made at its size; the member is still
            // empty, as a repeated member stops the reader at its key. The parts of a longer or
            // escaped string have been appended as they came.
            if (string_->empty()) {
                setString(*string_, s.data(), s.size());
            } else {
                string_->append(s.data(), s.size());
            }
        }
        string_ = nullptr;
        return true;
    }

    bool on_number_part(json::string_view part, json::error_code&) {
        numberText_.append(part.data(), part.size());
        return true;
    }

    bool on_int64(std::int64_t i, json::string_view, json::error_code& ec) {
        numberText_.clear();
        return number(static_cast<double>(i), i, true) || stop(ec);
    }

    bool on_uint64(std::uint64_t u, json::string_view, json::error_code& ec) {
        numberText_.clear();
        const bool fits = u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        return number(static_cast<double>(u), static_cast<std::int64_t>(u), fits) || stop(ec);
    }

    bool on_double(double parsed, json::string_view last, json::error_code& ec) {
        // The parser's own conversion may be one unit off in the last place; reading the text
        // again gives exactly the double that was written, so records survive a save and load.
        numberText_.append(last.data(), last.size());
        double d = parsed;
        const char* begin = numberText_.data();
        const char* end = begin + numberText_.size();
        const auto exact = std::from_chars(begin, end, d);
        if (exact.ec != std::errc() || exact.ptr != end) {
            d = parsed;
        }
        numberText_.clear();
        d = finiteNumber(d);
        const std::optional<std::int64_t> whole = wholeNumber(d);
        return number(d, whole.value_or(0), whole.has_value()) || stop(ec);
    }

    bool on_bool(bool b, json::error_code& ec) {
        Frame* top = scalarFrame();
        if (top == nullptr) {
            return stop(ec);
        }
        if (top->kind == Kind::skip || pending_ == kUnknown) {
            return true;
        }
        if (pendingMember().type != Type::boolean) {
            return stop(ec);
        }
        if (top->kind == Kind::style) {
            styleContainer& s = record<styleContainer>(*top);
            if (pending_ == slot(kStyleMembers, "isEnabled")) {
                s.isEnabled = b;
            } else {
                s.allowIframe = b;
            }
        }
        return true;
    }

    bool on_null(json::error_code& ec) {
        Frame* top = scalarFrame();
        if (top == nullptr) {
            return stop(ec);
        }
        // An optional member that is null is absent; a required one is missing.
        return top->kind == Kind::skip || pending_ == kUnknown || !pendingMember().required ||
               stop(ec);
    }

    bool on_comment_part(json::string_view, json::error_code&) { return true; }
    bool on_comment(json::string_view, json::error_code&) { return true; }

    bool finished() const { return done_ && frames_.empty(); }

    // Whether the reader stands between two items of a library's styles, and the library has
    // no member but "styles" so far: where a reader of `{"styles":[` stands, but for the
    // styles already read.
    bool betweenStyles() const {
        constexpr std::uint32_t stylesOnly = 1u << slot(kDatabaseMembers, "styles");
        return frames_.size() == 2 && frames_[0].kind == Kind::database &&
               frames_[0].seen == stylesOnly && frames_[1].kind == Kind::styles &&
               string_ == nullptr;
    }

  private:
    static constexpr std::uint8_t kUnknown = 0xff;

    static bool isObject(Kind kind) { return kind <= Kind::range; }

    template <class T>
    static T& record(const Frame& f) {
        return *static_cast<T*>(f.target);
    }
    template <class T>
    static std::vector<T>& list(const Frame& f) {
        return *static_cast<std::vector<T>*>(f.target);
    }

    // A new item at the end of the list of frame `f`, or of the items gathered for it.
    template <class T>
    T& newItem(std::vector<T>& gathered, const Frame& f) {
        return (gatherLists_ ? gathered : list<T>(f)).emplace_back();
    }

    // Hands the items gathered for a list that has ended to the list, which takes just the
    // room they need in one allocation.
    template <class T>
    void endList(std::vector<T>& gathered, std::vector<T>& list) {
        if (gatherLists_) {
            list.assign(std::make_move_iterator(gathered.begin()),
                        std::make_move_iterator(gathered.end()));
            gathered.clear();
        }
    }

    // The member table of each kind of object, by Kind.
    static std::span<const Member> membersOf(Kind kind) {
        static constexpr std::array<std::span<const Member>, 7> tables = {
            kDatabaseMembers, kStyleMembers,  kStyleJSONMembers, kSectionMembers,
            kVariableMembers, kOptionMembers, kRangeMembers};
        return tables[static_cast<std::size_t>(kind)];
    }

    static std::uint32_t requiredOf(Kind kind) {
        static constexpr std::array<std::uint32_t, 7> bits = {
            requiredBits(kDatabaseMembers),  requiredBits(kStyleMembers),
            requiredBits(kStyleJSONMembers), requiredBits(kSectionMembers),
            requiredBits(kVariableMembers),  requiredBits(kOptionMembers),
            requiredBits(kRangeMembers)};
        return bits[static_cast<std::size_t>(kind)];
    }

    // The member whose value comes next; only while pending_ is not kUnknown.
    const Member& pendingMember() const { return *pendingMember_; }

    // Sets pending_ to the member named `key`, or to kUnknown. False for a repeated member: the
    // tree keeps the last of repeated members, and such documents are left to it.
    bool findMember(Frame& f, std::string_view key) {
        const std::span<const Member> members = membersOf(f.kind);
        const std::size_t count = members.size();
        // Members mostly come in the table's order, some optional ones left out: look from the
        // one after the last found on, then from the start.
        std::size_t found = count;
        for (std::size_t i = f.next; i < count; ++i) {
            if (isName(key, members[i].name)) {
                found = i;
                break;
            }
        }
        if (found == count) {
            for (std::size_t i = 0; i < f.next && i < count; ++i) {
                if (isName(key, members[i].name)) {
                    found = i;
                    break;
                }
            }
        }
        if (found == count) {
            // dbVersion lands here too: it is never read.
            pending_ = kUnknown;
            return true;
        }
        const std::uint32_t bit = 1u << found;
        if ((f.seen & bit) != 0) {
            return false;
        }
        f.seen |= bit;
        pending_ = static_cast<std::uint8_t>(found);
        pendingMember_ = &members[found];
        f.next = static_cast<std::uint8_t>(found + 1);
        return true;
    }

    bool push(json::error_code& ec, Kind kind, void* target, std::uint32_t seen = 0) {
        return frames_.push(Frame{kind, target, seen}) || stop(ec);
    }

    bool leaveSkipped() {
        if (--frames_.back().seen == 0) {
            frames_.pop();
        }
        return true;
    }

    static bool stop(json::error_code& ec) {
        ec = json::error::syntax;  // any code: the tree reader says what is wrong
        return false;
    }

    // The frame a scalar value belongs to, or nullptr when a scalar cannot stand there.
    Frame* scalarFrame() {
        if (frames_.empty()) {
            return nullptr;  // the top level is not an object
        }
        Frame& top = frames_.back();
        return top.kind == Kind::skip || isObject(top.kind) ? &top : nullptr;
    }

    std::vector<std::string>& stringList(Frame& f) {
        switch (f.kind) {
            case Kind::section: {
                styleSection& s = record<styleSection>(f);
                std::vector<std::string>* lists[] = {&s.urls, &s.urlPrefixes, &s.domains,
                                                     &s.regexps};
                return *lists[pending_ - slot(kSectionMembers, "urls")];
            }
            default: {  // Kind::style: the exclusion lists
                styleContainer& s = record<styleContainer>(f);
                std::optional<std::vector<std::string>>* lists[] = {&s.exclURL, &s.exclDomain,
                                                                    &s.exclPrefix, &s.exclRegExp};
                return lists[pending_ - slot(kStyleMembers, "exclURL")]->emplace();
            }
        }
    }

    // Gives the empty string `target` the text [data, data + size), in storage of just that
    // size (assigning would reserve room to grow), made afresh in place: the string is empty,
    // so nothing is lost. Out of memory leaves it empty and alive for its record's destructor.
    static void setString(std::string& target, const char* data, std::size_t size) {
        std::destroy_at(&target);
        try {
            std::construct_at(&target, data, size);
        } catch (...) {
            std::construct_at(&target);
            throw;
        }
    }

    // Decides where the characters of the string that starts now go. False when no string may
    // stand here.
    bool openString() {
        if (frames_.empty()) {
            return false;
        }
        Frame& top = frames_.back();
        if (top.kind == Kind::skip || (isObject(top.kind) && pending_ == kUnknown)) {
            string_ = &ignored_;
            return true;
        }
        if (top.kind == Kind::strings) {
            string_ = &newItem(strings_, top);
            return true;
        }
        if (!isObject(top.kind) || pendingMember().type != Type::string || isCodeNumber(top)) {
            return false;
        }
        string_ = &stringMember(top);
        return true;
    }

    std::string& stringMember(Frame& f) {
        switch (f.kind) {
            case Kind::style: {
                styleContainer& s = record<styleContainer>(f);
                switch (pending_) {
                    case slot(kStyleMembers, "source"):
                        return s.source;
                    case slot(kStyleMembers, "version"):
                        return s.version;
                    case slot(kStyleMembers, "namespace"):
                        return s.namespace_;
                    case slot(kStyleMembers, "description"):
                        return s.description;
                    case slot(kStyleMembers, "author"):
                        return s.author;
                    case slot(kStyleMembers, "homepageURL"):
                        return s.homepageURL;
                    case slot(kStyleMembers, "supportURL"):
                        return s.supportURL;
                    case slot(kStyleMembers, "license"):
                        return s.license;
                    case slot(kStyleMembers, "downloadedFrom"):
                        return s.downloadedFrom;
                    case slot(kStyleMembers, "preprocessor"):
                        return s.preprocessor;
                    case slot(kStyleMembers, "updateURL"):
                        return s.updateURL.emplace();
                    default:
                        return s.systemTheme.emplace();
                }
            }
            case Kind::styleData: {
                styleJSON& j = record<styleJSON>(f);
                std::string* fields[] = {&j.url, &j.updateUrl, &j.md5Url, &j.originalMd5, &j.name};
                return *fields[pending_];
            }
            case Kind::section: {
                styleSection& s = record<styleSection>(f);
                if (pending_ == slot(kSectionMembers, "code")) {
                    return s.code;
                }
                return (pending_ == slot(kSectionMembers, "compiledcode") ? s.compiledcode
                                                                          : s.sectionName)
                    .emplace();
            }
            case Kind::variable: {
                userVariable& v = record<userVariable>(f);
                std::string* fields[] = {&v.type, &v.name, &v.label, &v.defaultValue};
                return pending_ == slot(kVariableMembers, "currentValue") ? v.currentValue.emplace()
                                                                          : *fields[pending_];
            }
            case Kind::option: {
                variableOption& o = record<variableOption>(f);
                std::optional<std::string>* fields[] = {&o.name, &o.label, &o.value};
                static_assert(slot(kOptionMembers, "name") == 0 &&
                              slot(kOptionMembers, "label") == 1 &&
                              slot(kOptionMembers, "value") == 2);
                return fields[pending_]->emplace();
            }
            default:  // Kind::range: units
                return record<rangeOpts>(f).units.emplace();
        }
    }

    // A JSON number, as a double and, when it is a whole number within range, as an integer.
    bool number(double d, std::int64_t i, bool isInteger) {
        Frame* top = scalarFrame();
        if (top == nullptr) {
            return false;
        }
        if (top->kind == Kind::skip || pending_ == kUnknown) {
            return true;
        }
        if (isCodeNumber(*top)) {
            if (!isInteger || i < 0) {
                return false;
            }
            char digits[24];
            const auto written = std::to_chars(digits, digits + sizeof digits, i);
            setString(stringMember(*top), digits, static_cast<std::size_t>(written.ptr - digits));
            return true;
        }
        const Type type = pendingMember().type;
        if (type == Type::integer) {
            if (!isInteger) {
                return false;
            }
            if (top->kind == Kind::database) {
                record<styleDatabase>(*top).randomHash = i;
            } else if (pending_ == slot(kStyleMembers, "uniqueID")) {
                record<styleContainer>(*top).uniqueID = i;
            } else {
                record<styleContainer>(*top).userstyleID = i;
            }
            return true;
        }
        if (type != Type::number) {
            return false;
        }
        switch (top->kind) {
            case Kind::database:
                record<styleDatabase>(*top).dateModified = Date{d};
                break;
            case Kind::style:
                record<styleContainer>(*top).dateModified = Date{d};
                break;
            default: {  // Kind::range
                rangeOpts& r = record<rangeOpts>(*top);
                double* fields[] = {&r.min, &r.max, &r.step};
                static_assert(slot(kRangeMembers, "min") == 0 && slot(kRangeMembers, "max") == 1 &&
                              slot(kRangeMembers, "step") == 2);
                *fields[pending_] = d;
                break;
            }
        }
        return true;
    }

    bool isCodeNumber(const Frame& f) const {
        return codeAsNumbers_ && f.kind == Kind::section &&
               (pending_ == slot(kSectionMembers, "code") ||
                pending_ == slot(kSectionMembers, "compiledcode"));
    }

    const Kind root_;
    void* const rootTarget_;
    const bool codeAsNumbers_;
    // Whether the items of the lists (but the styles) are gathered aside and handed to their
    // list when it ends, so that it takes one allocation of the right size rather than growing
    // item by item. Done for the skeleton of a library, a text of many short lists and no code.
    // With the code in the text it leaves more of the heap for the allocator to hand back
    // after the records are freed, and repeated reads then pay for the memory again.
    const bool gatherLists_;
    FrameStack frames_;
    std::uint8_t pending_ = kUnknown;  // the member whose value comes next
    const Member* pendingMember_ = nullptr;
    bool done_ = false;              // the top-level object has ended
    std::string key_;                // a key that arrives in parts
    std::string numberText_;         // a number that arrives in parts
    std::string* string_ = nullptr;  // where the string being read goes
    std::string ignored_;            // the sink for strings nobody reads
    // The items gathered for the open lists (see gatherLists_). Lists of one kind never nest,
    // so one of each is enough.
    std::vector<styleSection> sections_;
    std::vector<userVariable> variables_;
    std::vector<variableOption> options_;
    std::vector<std::string> strings_;
};

// Decodes `text` into `out` in one pass. False when the text is not a document that decodes
// cleanly; `out` is then unspecified and the tree reader must have the last word.
bool readOnePass(std::string_view text, Kind root, void* out, bool codeAsNumbers = false) {
    json::parse_options options;
    options.max_depth = kMaxJsonDepth;
    json::basic_parser<OnePassReader> parser(options, root, out, codeAsNumbers);
    json::error_code ec;
    const std::size_t used = parser.write_some(false, text.data(), text.size(), ec);
    return !ec && used == text.size() && parser.handler().finished();
}

template <class T>
constexpr Kind rootKind() {
    if constexpr (std::is_same_v<T, styleDatabase>) {
        return Kind::database;
    } else if constexpr (std::is_same_v<T, styleContainer>) {
        return Kind::style;
    } else {
        return Kind::styleData;
    }
}

template <class T, class F>
Result<T> readTree(std::string_view text, F&& read) {
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

#ifndef NDEBUG
// The tree reader's numbers come from Boost.JSON's conversion, which may be one unit in the
// last place away from the exact value the one-pass reader gives. For the cross-check below,
// numbers that close count as the same.
void takeCloseNumber(double& tree, double exact) {
    if (std::nextafter(tree, exact) == exact || tree == exact) {
        tree = exact;
    }
}
void takeCloseNumbers(std::optional<Date>& tree, const std::optional<Date>& exact) {
    if (tree && exact) {
        takeCloseNumber(tree->sinceReference, exact->sinceReference);
    }
}
void takeCloseNumbers(styleJSON&, const styleJSON&) {}
void takeCloseNumbers(styleContainer& tree, const styleContainer& exact) {
    takeCloseNumbers(tree.dateModified, exact.dateModified);
    if (!tree.userVariables || !exact.userVariables ||
        tree.userVariables->size() != exact.userVariables->size()) {
        return;
    }
    for (std::size_t i = 0; i < tree.userVariables->size(); ++i) {
        auto& range = (*tree.userVariables)[i].rangeOptions;
        const auto& exactRange = (*exact.userVariables)[i].rangeOptions;
        if (range && exactRange) {
            takeCloseNumber(range->min, exactRange->min);
            takeCloseNumber(range->max, exactRange->max);
            takeCloseNumber(range->step, exactRange->step);
        }
    }
}
void takeCloseNumbers(styleDatabase& tree, const styleDatabase& exact) {
    takeCloseNumbers(tree.dateModified, exact.dateModified);
    for (std::size_t i = 0; i < tree.styles.size() && i < exact.styles.size(); ++i) {
        takeCloseNumbers(tree.styles[i], exact.styles[i]);
    }
}
#endif

template <class T, class F>
Result<T> decodeText(std::string_view text, F&& read) {
    if (text.size() <= kMaxDatabaseBytes) {
        try {
            T record;
            if (readOnePass(text, rootKind<T>(), &record)) {
#ifndef NDEBUG
                // Builds with assertions (the tests, the fuzzers) hold every one-pass result
                // against the tree reader's.
                Result<T> tree = readTree<T>(text, read);
                assert(tree.ok());
                takeCloseNumbers(tree.value(), record);
                assert(tree.value() == record);
#endif
                return record;
            }
        } catch (const std::bad_alloc&) {
            // The tree reader tries again, and reports.
        }
    }
    return readTree<T>(text, read);
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
    // With `pieces`, a section's code and compiledcode hold the places of their texts in it,
    // which are written as they stand (see library_outline.h).
    explicit Writer(std::string& out, const std::vector<std::string_view>* pieces = nullptr)
        : out_(out), pieces_(pieces) {}

    void code(const std::string& s) {
        if (pieces_ == nullptr) {
            string(s);
            return;
        }
        std::size_t place = 0;
        std::from_chars(s.data(), s.data() + s.size(), place);
        out_ += '"';
        out_ += place < pieces_->size() ? (*pieces_)[place] : std::string_view();
        out_ += '"';
    }

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
        if (!text::isValidUtf8(s)) {
            // Bytes that are no UTF-8 (a file name, a command argument) would make the whole
            // library unreadable JSON; each becomes U+FFFD instead.
            const std::string repaired = text::replaceInvalidUtf8(s);
            string(repaired);
            return;
        }
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

    // The shortest text that reads back as exactly the same double. A number that is not
    // finite has no JSON form: it is written as the nearest finite one, so the file stays valid.
    void number(double d) {
        d = finiteNumber(d);
        char text[32];
        const auto result = std::to_chars(text, text + sizeof text, d);
        const std::string_view written(text, static_cast<std::size_t>(result.ptr - text));
        out_.append(written);
        // Whole numbers keep a fraction part, so readers that go by the JSON type still see a
        // floating-point value.
        if (written.find_first_of(".e") == std::string_view::npos) {
            out_.append(".0");
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
    const std::vector<std::string_view>* pieces_;
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
    w.code(s.code);
    if (s.compiledcode) {
        w.member("compiledcode");
        w.code(*s.compiledcode);
    }
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

namespace detail {

bool decodeDatabaseSkeleton(const std::vector<std::string_view>& runs, styleDatabase& out,
                            SkeletonPart held) {
    try {
        json::parse_options options;
        options.max_depth = kMaxJsonDepth;
        json::basic_parser<OnePassReader> parser(options, Kind::database, &out, true);
        json::error_code ec;
        // The runs and numbers are copied into a buffer and the parser reads it a buffer at a
        // time. Handing it each run on its own would make it stop and resume around every code
        // string, several levels deep, which costs more than the copy.
        constexpr std::size_t kBufferSize = std::size_t{64} * 1024;
        const auto buffer = std::make_unique<char[]>(kBufferSize);
        std::size_t used = 0;
        const auto flush = [&](bool more) {
            const std::size_t read = parser.write_some(more, buffer.get(), used, ec);
            const bool ok = read == used && !ec;
            used = 0;
            return ok;
        };
        const auto feed = [&](std::string_view part) {
            while (!part.empty()) {
                if (used == kBufferSize && !flush(true)) {
                    return false;
                }
                const std::size_t n = std::min(part.size(), kBufferSize - used);
                std::memcpy(buffer.get() + used, part.data(), n);
                used += n;
                part.remove_prefix(n);
            }
            return true;
        };
        if (held == SkeletonPart::tail && !feed(R"({"styles":[)")) {
            return false;
        }
        for (std::size_t i = 0; i < runs.size(); ++i) {
            if (!feed(runs[i])) {
                return false;
            }
            if (i + 1 < runs.size()) {
                char place[24];
                const auto written = std::to_chars(place, place + sizeof place, i);
                if (!feed(std::string_view(place, written.ptr))) {
                    return false;
                }
            }
        }
        if (held == SkeletonPart::head) {
            return flush(true) && parser.handler().betweenStyles();
        }
        return flush(false) && parser.handler().finished();
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::string encodeDatabase(const styleDatabase& db, std::size_t sizeHint,
                           const std::vector<std::string_view>* pieces) {
    std::size_t hint = 128 + sizeHint;
    if (pieces == nullptr) {
        for (const styleContainer& s : db.styles) {
            hint += textSizeHint(s);
        }
    }
    std::string out;
    out.reserve(hint);
    preferHugePages(out.data(), out.capacity());
    Writer w(out, pieces);
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

}  // namespace detail

std::string encodeDatabase(const styleDatabase& db) {
    return detail::encodeDatabase(db, 0, nullptr);
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
