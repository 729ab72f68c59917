#include "model/library_outline.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fuzz/db_round_trip.h"

namespace orlavine {
namespace {

using testing::outlineProblem;

// A style whose first section has `section` as its members after the rule lists, and which
// ends with the members `extra`.
std::string style(const std::string& section, const std::string& extra = "",
                  const std::string& description = "") {
    return R"({"uniqueID":7,"styleData":{"url":"","updateUrl":"","md5Url":"",)"
           R"("originalMd5":"","name":"N","sections":[{"urls":[],"urlPrefixes":[],"domains":[],)"
           R"("regexps":[],)" +
           section +
           R"(}]},"isEnabled":true,"source":"custom","userstyleID":-1,"version":"",)"
           R"("namespace":"","description":")" +
           description +
           R"(","author":"","homepageURL":"","supportURL":"",)"
           R"("license":"","downloadedFrom":"","preprocessor":"default")" +
           extra + "}";
}

// A one-style library.
std::string library(const std::string& section, const std::string& extra = "") {
    return R"({"styles":[)" + style(section, extra) + R"(],"randomHash":1})";
}

bool outlined(const std::string& text) {
    return LibraryOutline::read(std::make_shared<const std::string>(text)).has_value();
}

// The outline takes what the decoder takes, gives the same records and writes them back; what
// it leaves to the full decoder is only slower, never different.
TEST(LibraryOutline, AgreesWithTheDecoder) {
    const std::string longRun(70, 'x');
    struct Case {
        std::string text;
        bool fast;  // whether the outline should take it
    };
    const std::vector<Case> cases = {
        {library(R"("code":"a{}")"), true},
        {library(R"("code":"\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00 ü ダーク")"), true},
        {library(R"("code":")" + longRun + R"(\\\\\")" + longRun + R"(\\")"), true},
        {library(R"("compiledcode":"c", "code" : "a" ,"sectionName":"s")"), true},
        {library(R"("code":"a","compiledcode":"")"), true},
        {library(R"("code":"\u0000")"), true},
        {library(R"("code":"a")", R"(,"x":{"code":"skipped"})"), true},
        {"\n{ \"styles\" : [ ] , \"randomHash\" : 1 }\n", true},
        // left to the decoder, which may take them or not
        {library(R"("code":"\udc00")"), false},
        {library(R"("code":"\ud800x")"), false},
        {library(R"("code":"\q")"), false},
        {library("\"code\":\"a\tb\""), false},
        {library("\"code\":\"\xc3\x28\""), false},
        {library("\"code\":\"\xed\xa0\x80\""), false},
        {library(R"("code":5)"), false},
        {library(R"("code":null)"), false},
        {library(R"("co\u0064e":"a")"), false},
        {library(R"("code":"a","code":"b")"), false},
        {library(R"("code":"a")", R"(,"x":{"code":5})"), false},
        {library(R"("code":"unterminated)"), false},
        {library(R"("code":"a")").substr(0, 200), false},
        {"[]", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(outlined(c.text), c.fast) << c.text;
        EXPECT_EQ(outlineProblem(c.text, decodeDatabase(c.text)), std::nullopt) << c.text;
    }
}

// A library large enough to be read on two threads, cut between two styles near its middle,
// reads as on one: wherever the cut lands and whatever is wrong on either side of it.
TEST(LibraryOutline, LargeLibrariesAgreeWithTheDecoder) {
    // What a style boundary looks like, in every string; the code makes the text megabytes.
    const std::string awkward = R"(},{\"uniqueID\":1}]}{[ ],{ )";
    std::string code;
    while (code.size() < 14000) {
        code += awkward;
    }
    // 300 styles between `head` and `tail`, each ending with the members `extra` but the
    // `oddOne`th, which ends with `odd`.
    const auto large = [&](const std::string& head, const std::string& tail,
                           const std::string& extra = "", std::size_t oddOne = 0,
                           const std::string& odd = "") {
        std::string text = head;
        for (std::size_t i = 1; i <= 300; ++i) {
            text += i == 1 ? "" : ",";
            text += style(R"("code":")" + code + R"(","compiledcode":"c")",
                          i == oddOne ? odd : extra, awkward);
        }
        return text + tail;
    };
    const std::string begin = R"({"styles":[)";
    const std::string end = R"(],"randomHash":1})";
    struct Case {
        std::string text;
        bool fast;
    };
    const std::vector<Case> cases = {
        {large(begin, end), true},
        // the boundary looked for, in a member that is skipped
        {large(begin, end, R"(,"x":[{},{"uniqueID":1}])"), true},
        {large(R"({"randomHash":1,"styles":[)", "]}"), true},
        {large(R"({"randomHash":1,"styles":[)", end), false},
        {large(begin, end, "", 290, R"(,"source":"")"), false},
        {large(begin, end, "", 10, R"(,"isEnabled":1)"), false},
        {large(begin, R"(],"randomHash":1)"), false},
        // a code string that reaches over the boundary looked for
        {large(begin, end, R"(,"code":"},{"uniqueID":")"), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(outlined(c.text), c.fast) << c.text.substr(c.text.size() - 40);
        EXPECT_EQ(outlineProblem(c.text, decodeDatabase(c.text)), std::nullopt);
    }
}

}  // namespace
}  // namespace orlavine
