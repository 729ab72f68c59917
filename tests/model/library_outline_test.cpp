#include "model/library_outline.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fuzz/db_round_trip.h"

namespace orlavine {
namespace {

using testing::outlineProblem;

// A one-style library whose first section has `section` as its members after the rule lists.
std::string library(const std::string& section, const std::string& extra = "") {
    return R"({"styles":[{"uniqueID":7,"styleData":{"url":"","updateUrl":"","md5Url":"",)"
           R"("originalMd5":"","name":"N","sections":[{"urls":[],"urlPrefixes":[],"domains":[],)"
           R"("regexps":[],)" +
           section +
           R"(}]},"isEnabled":true,"source":"custom","userstyleID":-1,"version":"",)"
           R"("namespace":"","description":"","author":"","homepageURL":"","supportURL":"",)"
           R"("license":"","downloadedFrom":"","preprocessor":"default")" +
           extra + R"(}],"randomHash":1})";
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

}  // namespace
}  // namespace orlavine
