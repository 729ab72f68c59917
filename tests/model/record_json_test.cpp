#include "model/record_json.h"

#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/db_round_trip.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

namespace json = boost::json;
namespace fs = std::filesystem;
using testing::readText;
using testing::roundTripProblem;

const fs::path kDbData = fs::path(ORLAVINE_TEST_DATA) / "db";

// Two styles with only their required members, except that the second has one range and one
// select variable (themselves without optional members). No dbVersion member.
json::value minimalJson() {
    return json::parse(readText(kDbData / "minimal.sdb"));
}

std::string text(const json::value& v) {
    return json::serialize(v);
}

// Every optional member set, and strings that need escaping or are not ASCII.
styleDatabase richDatabase() {
    styleSection section;
    section.urls = {"https://example.com/", "https://пример.рф/?q=\"x\"&y=\\"};
    section.urlPrefixes = {"https://example.com/a/"};
    section.domains = {"example.com", "例え.jp"};
    section.regexps = {R"(https?://.*\.org/\d+)"};
    section.code = "body {\n\tcolor: red; /* \x01\x1f\x7f end */ content: \"\\2014 ✓ 😀\"; }";
    section.compiledcode = std::string("body{color:red}\0tail", 20);
    section.sectionName = "Main — עברית";
    styleSection compiled = section;
    compiled.code = "b{}";

    styleContainer style = testing::sampleStyle(4294967301, "Rich \"quoted\" name\u2028\r\n");
    style.styleData.url = "https://catalogue.example/styles/1";
    style.styleData.updateUrl = "https://catalogue.example/styles/chrome/1.json";
    style.styleData.md5Url = "https://catalogue.example/1.md5";
    style.styleData.originalMd5 = "0123456789abcdef";
    style.styleData.sections = {section, styleSection{}};
    style.styleData.compSections = std::vector<styleSection>{compiled};
    style.isEnabled = false;
    style.source = "usorg";
    style.userstyleID = 123456;
    style.version = "2.0";
    style.namespace_ = "ns";
    style.description = "Déscription";
    style.author = "A <a@example.com>";
    style.homepageURL = "https://example.com/home";
    style.supportURL = "https://example.com/support";
    style.license = "MIT";
    style.downloadedFrom = "https://example.com/x.user.css";
    style.preprocessor = "stylus";
    style.exclURL = std::vector<std::string>{"https://example.com/login"};
    style.exclDomain = std::vector<std::string>{"mail.example.com", ""};
    style.exclPrefix = std::vector<std::string>{};
    style.exclRegExp = std::vector<std::string>{"\\?print$"};
    style.allowIframe = false;
    style.updateURL = "https://example.com/x.user.css";
    style.systemTheme = "dark";
    userVariable pick{"select", "theme", "Theme", "0", std::nullopt, std::nullopt, "1"};
    pick.selectOptions = std::vector<variableOption>{
        {"a", "Dark", "#000"}, {std::nullopt, "Light", std::nullopt}, {}};
    userVariable size{"range", "size", "Size", "12", std::nullopt, std::nullopt, "13.5"};
    size.rangeOptions = rangeOpts{-10, 100, 0.5, "px"};
    style.userVariables = std::vector<userVariable>{pick, size};
    style.dateModified = Date{-0.75};

    styleDatabase db;
    db.styles = {style, testing::sampleStyle(-1, "")};
    db.randomHash = 4294967295;
    db.dateModified = Date{756864000.25};
    return db;
}

TEST(RecordJson, OptionalMembersMayBeMissingNullOrUnknownAndAreNeverWritten) {
    const Result<styleDatabase> db = decodeDatabase(text(minimalJson()));
    ASSERT_TRUE(db.ok()) << db.error();
    ASSERT_EQ(db->styles.size(), 2u);
    const styleContainer& plain = db->styles[0];
    EXPECT_EQ(db->dbVersion, 1);
    EXPECT_FALSE(db->dateModified || plain.exclURL || plain.exclDomain || plain.exclPrefix ||
                 plain.exclRegExp || plain.allowIframe || plain.updateURL || plain.systemTheme ||
                 plain.userVariables || plain.dateModified || plain.styleData.compSections ||
                 plain.styleData.sections[0].compiledcode ||
                 plain.styleData.sections[0].sectionName);
    const std::vector<userVariable>& vars = *db->styles[1].userVariables;
    EXPECT_EQ(vars[0].rangeOptions, (rangeOpts{0, 100, 0.5, std::nullopt}));
    EXPECT_EQ(vars[1].selectOptions, std::vector<variableOption>{variableOption{}});
    EXPECT_FALSE(vars[0].currentValue || vars[0].selectOptions || vars[1].rangeOptions);

    // Written back, it is the same JSON plus dbVersion: no nulls, nothing filled in.
    json::value expected = minimalJson();
    expected.as_object()["dbVersion"] = 1;
    EXPECT_EQ(json::parse(encodeDatabase(*db)), expected);

    // Explicit nulls for optional members, unknown members everywhere and another dbVersion
    // change nothing.
    json::value noisy = minimalJson();
    noisy.as_object()["dbVersion"] = 7;
    noisy.as_object()["dateModified"] = nullptr;
    noisy.as_object()["future"] = json::object{{"styles", json::array{1, 2}}};
    json::object& style = noisy.at_pointer("/styles/0").as_object();
    for (const char* key : {"exclURL", "allowIframe", "systemTheme", "userVariables", "updateURL",
                            "dateModified", "exclRegExp"}) {
        style[key] = nullptr;
    }
    style["isEnabled2"] = "yes";
    noisy.at_pointer("/styles/0/styleData").as_object()["compSections"] = nullptr;
    noisy.at_pointer("/styles/0/styleData/sections/0").as_object()["compiledcode"] = nullptr;
    noisy.at_pointer("/styles/1/userVariables/0/rangeOptions").as_object()["units"] = nullptr;
    noisy.at_pointer("/styles/1/userVariables/1/selectOptions/0").as_object()["label"] = nullptr;
    noisy.at_pointer("/styles/1/userVariables/1").as_object()["extra"] = json::array{};
    const Result<styleDatabase> again = decodeDatabase(text(noisy));
    ASSERT_TRUE(again.ok()) << again.error();
    EXPECT_EQ(*again, *db);
    EXPECT_EQ(json::parse(encodeDatabase(*again)).at("dbVersion"), 1);
}

TEST(RecordJson, MissingRequiredMemberOrWrongTypeFailsTheWholeDatabase) {
    struct Fault {
        std::string parent;               // JSON pointer of the object to change
        std::string key;                  // member to change
        std::optional<json::value> with;  // nothing: remove the member
        std::string where;                // must appear in the message
    };
    const std::vector<Fault> faults = {
        {"", "styles", std::nullopt, "styles"},
        {"", "styles", json::value(nullptr), "styles"},
        {"", "randomHash", std::nullopt, "randomHash"},
        {"", "randomHash", json::value("1"), "randomHash"},
        {"", "randomHash", json::value(1e30), "randomHash"},
        {"", "dateModified", json::value("2020-01-01"), "dateModified"},
        {"/styles/1", "preprocessor", std::nullopt, "styles[1].preprocessor"},
        {"/styles/1", "styleData", json::array{}, "styles[1].styleData"},
        {"/styles/1", "uniqueID", json::value("7"), "styles[1].uniqueID"},
        {"/styles/1", "uniqueID", json::value(1.5), "styles[1].uniqueID"},
        {"/styles/1", "isEnabled", json::value(1), "styles[1].isEnabled"},
        {"/styles/1", "allowIframe", json::value("true"), "styles[1].allowIframe"},
        {"/styles/1", "exclURL", json::array{1}, "styles[1].exclURL"},
        {"/styles/1", "exclDomain", json::value("a.com"), "styles[1].exclDomain"},
        {"/styles/1", "userVariables", json::object{}, "styles[1].userVariables"},
        {"/styles/1/styleData", "sections", json::object{}, "styles[1].styleData.sections"},
        {"/styles/1/styleData", "compSections", json::array{1}, "styles[1].styleData.compSect"},
        {"/styles/1/styleData/sections/0", "urls", std::nullopt,
         "styles[1].styleData.sections[0].urls"},
        {"/styles/1/styleData/sections/0", "code", json::array{}, "sections[0].code"},
        {"/styles/1/userVariables/0", "label", std::nullopt, "styles[1].userVariables[0].label"},
        {"/styles/1/userVariables/0/rangeOptions", "step", json::value("0.5"),
         "styles[1].userVariables[0].rangeOptions.step"},
        {"/styles/1/userVariables/0/rangeOptions", "min", std::nullopt, "rangeOptions.min"},
        {"/styles/1/userVariables/1/selectOptions/0", "value", json::value(3),
         "styles[1].userVariables[1].selectOptions[0].value"},
    };
    for (const Fault& fault : faults) {
        json::value broken = minimalJson();
        json::object& parent = broken.at_pointer(fault.parent).as_object();
        if (fault.with) {
            parent[fault.key] = *fault.with;
        } else {
            parent.erase(fault.key);
        }
        const Result<styleDatabase> db = decodeDatabase(text(broken));
        ASSERT_FALSE(db.ok()) << text(broken);
        EXPECT_NE(db.error().find(fault.where), std::string::npos)
            << "message \"" << db.error() << "\" does not name " << fault.where;
    }
}

TEST(RecordJson, NumbersKeepTheirRangeSignAndFraction) {
    json::value v = minimalJson();
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    v.at_pointer("/styles/0").as_object()["uniqueID"] = 4294967296 + 5;
    v.at_pointer("/styles/0").as_object()["userstyleID"] = -9000000000;
    v.at_pointer("/styles/1").as_object()["uniqueID"] = kMax;
    v.at_pointer("/styles/1").as_object()["userstyleID"] = kMin;
    v.as_object()["randomHash"] = 4294967295u;
    v.as_object()["dateModified"] = 0;  // JSON integers are fine for dates and doubles
    v.at_pointer("/styles/1/userVariables/0/rangeOptions").as_object()["min"] = 0;
    v.at_pointer("/styles/0").as_object()["dateModified"] = -12.25;
    v.at_pointer("/styles/1").as_object()["dateModified"] = 700000000.5;
    const Result<styleDatabase> db = decodeDatabase(text(v));
    ASSERT_TRUE(db.ok()) << db.error();
    EXPECT_EQ(db->styles[0].uniqueID, 4294967301);
    EXPECT_EQ(db->styles[0].userstyleID, -9000000000);
    EXPECT_EQ(db->styles[1].uniqueID, kMax);
    EXPECT_EQ(db->styles[1].userstyleID, kMin);
    EXPECT_EQ(db->randomHash, 4294967295);
    EXPECT_EQ(db->dateModified, Date{0});
    EXPECT_EQ(db->dateModified->unixSeconds(), 978307200.0);  // 2001-01-01, not 1970
    EXPECT_EQ(db->styles[0].dateModified, Date{-12.25});
    EXPECT_EQ(db->styles[1].dateModified, Date{700000000.5});
    EXPECT_EQ(db->styles[1].userVariables->at(0).rangeOptions->step, 0.5);

    const json::value out = json::parse(encodeDatabase(*db));
    EXPECT_EQ(out.at_pointer("/styles/0/uniqueID").to_number<std::int64_t>(), 4294967301);
    EXPECT_EQ(out.at_pointer("/styles/1/userstyleID").to_number<std::int64_t>(), kMin);
    EXPECT_EQ(out.at("dateModified").to_number<double>(), 0.0);
    EXPECT_EQ(out.at_pointer("/styles/0/dateModified").to_number<double>(), -12.25);
    EXPECT_EQ(out.at_pointer("/styles/1/userVariables/0/rangeOptions/step").to_number<double>(),
              0.5);
    styleDatabase fromUnix;
    fromUnix.dateModified = Date::fromUnixSeconds(978307200.0 + 3600.5);
    EXPECT_EQ(json::parse(encodeDatabase(fromUnix)).at("dateModified").to_number<double>(), 3600.5);
}

TEST(RecordJson, RichRecordsSurviveWritingAndReading) {
    const styleDatabase db = richDatabase();
    const std::string encoded = encodeDatabase(db);
    EXPECT_EQ(encoded.find('\n'), std::string::npos) << "not compact";
    const Result<styleDatabase> back = decodeDatabase(encoded);
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_EQ(*back, db);
    EXPECT_EQ(back->styles[0].styleData.sections[0].compiledcode->size(), 20u);

    const Result<styleContainer> style = decodeStyle(encodeStyle(db.styles[0]));
    ASSERT_TRUE(style.ok()) << style.error();
    EXPECT_EQ(*style, db.styles[0]);
    const Result<styleJSON> record = decodeStyleJSON(styleJSONToJson(db.styles[0].styleData));
    ASSERT_TRUE(record.ok()) << record.error();
    EXPECT_EQ(*record, db.styles[0].styleData);
}

TEST(RecordJson, BrokenTextIsRefusedWithAMessage) {
    std::vector<std::string> inputs = {"", " ", "null", "42", "\"styles\"", "{}"};
    for (const auto& entry : fs::directory_iterator(kDbData)) {
        if (entry.path().filename().string().starts_with("bad-")) {
            inputs.push_back(readText(entry.path()));
        }
    }
    const std::string good = encodeDatabase(richDatabase());
    for (std::size_t cut = 0; cut < good.size(); cut += 7) {
        inputs.push_back(good.substr(0, cut));
    }
    std::string badUtf8 = good;
    badUtf8.replace(badUtf8.find("Rich"), 1, "\xff");
    inputs.push_back(badUtf8);
    inputs.push_back(R"({"styles":[],"randomHash":1,"x":"\ud800"})");
    inputs.push_back(std::string(10000, '[') + std::string(10000, ']'));
    std::string deep = R"({"styles":[],"randomHash":1,"x":)";
    for (int i = 0; i < 10000; ++i) {
        deep += R"({"styles":[)";
    }
    for (int i = 0; i < 10000; ++i) {
        deep += "]}";
    }
    inputs.push_back(deep + "}");
    std::mt19937 random(20010101);
    for (int i = 0; i < 20; ++i) {
        std::string garbage(4096, '\0');
        for (char& c : garbage) {
            c = static_cast<char>(random());
        }
        inputs.push_back(garbage);
    }
    for (const std::string& input : inputs) {
        const Result<styleDatabase> db = decodeDatabase(input);
        ASSERT_FALSE(db.ok()) << input.substr(0, 200);
        EXPECT_FALSE(db.error().empty());
    }
}

// Every file of the fuzz corpus, and the sample files, either fail cleanly or round-trip.
TEST(RecordJson, FuzzCorpusAndSampleFilesDecodeCleanly) {
    std::size_t files = 0;
    for (const fs::path& dir :
         {fs::path(ORLAVINE_SOURCE_DIR "/tests/fuzz/corpus/db_decode"), kDbData}) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            EXPECT_EQ(roundTripProblem(readText(entry.path())), std::nullopt) << entry.path();
            ++files;
        }
    }
    EXPECT_GT(files, 10u);
}

// Boost.JSON 1.81 reads numbers with fractions only to within one unit in the last place; the
// decoder must read them exactly, or about one date in ten would drift on every save and load.
TEST(RecordJson, FractionalDatesSurviveWritingAndReadingExactly) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> seconds(0, 1e9);
    styleDatabase db;
    for (int i = 0; i < 200; ++i) {
        db.styles.push_back(testing::sampleStyle(i, "s"));
        db.styles.back().dateModified = Date{seconds(random)};
    }
    const Result<styleDatabase> back = decodeDatabase(encodeDatabase(db));
    ASSERT_TRUE(back.ok()) << back.error();
    int changed = 0;
    std::ostringstream example;
    example.precision(17);
    for (std::size_t i = 0; i < db.styles.size(); ++i) {
        const double before = db.styles[i].dateModified->sinceReference;
        const double after = back->styles[i].dateModified->sinceReference;
        if (before != after && changed++ == 0) {
            example << before << " came back as " << after;
        }
    }
    EXPECT_EQ(changed, 0) << "e.g. " << example.str();
}

// A number too large for a double (1e400) must not come back out as the bare word Infinity,
// which is not JSON: one such number in an imported file would make the next save unreadable.
TEST(RecordJson, HugeNumbersNeverLeadToAnUnreadableFile) {
    std::string hugeStep = readText(kDbData / "minimal.sdb");
    hugeStep.replace(hugeStep.find("\"step\":0.5"), 10, "\"step\":-1e999");
    for (const std::string& input :
         {std::string(R"({"styles":[],"randomHash":1,"dateModified":1e400})"), hugeStep}) {
        EXPECT_EQ(roundTripProblem(input), std::nullopt);
    }
}

}  // namespace
}  // namespace orlavine

namespace orlavine {
namespace {

// Text that is no UTF-8 (a Latin-1 command argument, a file name) must never make the library
// unreadable: each stray byte is written as U+FFFD and the rest of the text is kept.
TEST(RecordJson, BytesThatAreNoUtf8AreWrittenAsReplacementCharacters) {
    styleDatabase db;
    db.styles.push_back(testing::sampleStyle(1, "caf\xe9"));
    db.styles[0].styleData.sections[0].code = "p { content: '\xc3'; }";
    const std::string text = encodeDatabase(db);
    const auto back = decodeDatabase(text);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(back->styles[0].styleData.name, "caf\xef\xbf\xbd");
    EXPECT_EQ(back->styles[0].styleData.sections[0].code, "p { content: '\xef\xbf\xbd'; }");
}

}  // namespace
}  // namespace orlavine
