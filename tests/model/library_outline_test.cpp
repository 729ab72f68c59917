#include "model/library_outline.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/db_round_trip.h"
#include "text/text.h"

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

// Where a code string's content ends when read one character at a time, or npos when it holds
// anything but short escapes, \u escapes with whole surrogate pairs and UTF-8 without controls.
std::size_t plainStringEnd(std::string_view s) {
    const auto hex4 = [&](std::size_t at) {
        const std::string digits(s.substr(std::min(at, s.size()), 4));
        return digits.size() == 4 &&
                       digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos
                   ? std::stoi(digits, nullptr, 16)
                   : -1;
    };
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const char escaped = i + 1 < s.size() ? s[i + 1] : '\0';
        const int unit = hex4(i + 2);
        if (c == '"') {
            return i;
        } else if (c >= 0x80 && text::utf8SequenceLength(s.substr(i)) != 0) {
            i += text::utf8SequenceLength(s.substr(i));
        } else if (c >= 0x20 && c < 0x80 && c != '\\') {
            ++i;
        } else if (c == '\\' && std::string_view("\"\\/bfnrt").find(escaped) != std::string::npos) {
            i += 2;
        } else if (c == '\\' && escaped == 'u' && unit >= 0 && (unit < 0xd800 || unit > 0xdfff)) {
            i += 6;
        } else if (c == '\\' && escaped == 'u' && unit >= 0xd800 && unit < 0xdc00 &&
                   s.substr(std::min(i + 6, s.size()), 2) == "\\u" && hex4(i + 8) >= 0xdc00 &&
                   hex4(i + 8) <= 0xdfff) {
            i += 12;
        } else {
            return std::string::npos;
        }
    }
    return std::string::npos;
}

// Random code texts made of the pieces that the quick check reads differently from plain text,
// at every distance from the 64-byte blocks it reads: the outline takes exactly those that the
// plain reading takes, and finds each one's end.
TEST(LibraryOutline, ChecksCodeLikeThePlainReading) {
    const auto split = [](const std::string& list) {
        std::vector<std::string> out;
        std::istringstream in(list);
        for (std::string piece; std::getline(in, piece, ' ');) {
            out.push_back(piece);
        }
        return out;
    };
    const std::vector<std::string> valid = split(
        "ubfnrt/ \x7f \\n \\\" \\\\ \\/ \\t \\r \\b \\f \\u00e9 \\uFFFF \\ud83d\\ude00 "
        "\\uDBFF\\uDFFF "
        "\xc3\xbc \xe3\x83\x80 \xf0\x9f\x98\x80 \xe2\x86\x92 \xf4\x8f\xbf\xbf");
    const std::vector<std::string> invalid = split(
        "\x01 \t \n \x1f \\q \\s \\m \\o \\N \\0 \\' \\\x01 \\\xc3\xbc \\u12g4 \\u12 \\udc00 "
        "\\ud800x \\ud800\\u0041 "
        "\\ud800\\n \xc3\x28 \xed\xa0\x80 \xc0\xaf \xe0\x80\x80 \xf5\x80\x80\x80 \x80 \xe3\x83 "
        "\xff");
    std::mt19937 random(7);
    const auto below = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    for (int round = 0; round < 3000; ++round) {
        std::string code;
        for (std::size_t count = below(40); count > 0; --count) {
            const std::size_t kind = below(100);
            if (kind < 30) {
                code.append(below(70), 'a');
            } else if (kind < 40) {
                for (std::size_t run = below(9); run > 0; --run) {
                    code += "\\\\";  // a backslash run, often just before an escaped quote
                }
            } else if (kind < 97 || round % 2 == 0) {
                code += valid[below(valid.size())];
            } else {
                code += invalid[below(invalid.size())];
            }
        }
        if (below(3) == 0) {
            code.append((64 - code.size() % 64 + below(3) + 62) % 64, 'a');  // end at a block's end
        }
        const bool takes = plainStringEnd(code + "\"") == code.size();
        // The code twice: followed by a control character and a string with an escape and
        // non-ASCII text, and near the end of the text, where the last bytes are read one by one.
        const auto outline = LibraryOutline::read(std::make_shared<const std::string>(
            library("\"code\":\"" + code + "\"\n\t,\"sectionName\":\"\\\\\xc3\xbc\"",
                    ",\"x\":{\"code\":\"" + code + "\"}")));
        ASSERT_EQ(outline.has_value(), takes) << code;
        if (takes) {
            EXPECT_EQ(outline->first.storedCode(), std::vector<std::string_view>(2, code));
        }
    }
}

}  // namespace
}  // namespace orlavine
