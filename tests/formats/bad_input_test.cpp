// Hostile and huge documents: nothing crashes, nothing hangs, and time grows with the size of
// the text, not with its square.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "fuzz/formats_fuzz_checks.h"

namespace orlavine {
namespace {

// Every reader over `text`, with the checks of the fuzz targets.
void expectSound(const std::string& text) {
    for (const auto check :
         {testing::usercssProblem, testing::mozDocumentProblem, testing::mozDocumentRulesProblem,
          testing::variableDeclarationProblem}) {
        const auto problem = check(text);
        EXPECT_FALSE(problem) << problem.value_or("") << " in " << text;
    }
}

TEST(BadInput, MalformedTextGivesNothingOrLessNeverACrash) {
    using namespace std::string_literals;
    // Empty, unterminated and unbalanced documents hold no code.
    for (const std::string& text : {
             ""s,
             "/* ==UserStyle==\n@name Never closed\n@-moz-document domain(x) { a {} }"s,
             "@-moz-document domain(x) { /* the comment runs to the end }"s,
             "@-moz-document domain(x) {{{{{{{{ a: b }"s,
             "@-moz-document domain(x) {} @-moz-document domain(y) {"s,
             "@-moz-document"s,
             "@-moz-document @-moz-document @-moz-document"s,
         }) {
        EXPECT_FALSE(readUserCSS(text)) << text;
        expectSound(text);
    }
    // Invalid UTF-8 is carried through as bytes; nothing is cut inside a code point.
    for (const std::string& text : {
             "\0\0\0"s,
             "\xff\xfe\xfd"s,
             "\xc3"s,
             "@-moz-document domain('\xe2\x82') {\xf0\x9f}"s,
             "/* ==UserStyle==\n@name \xc3\n@var text t 'T\xc3' \xe2\x80\n==/UserStyle== */\n\xe2"s,
             "\xe3\x80\x80\x80 p{} \x80\xe3\x80\x80"s,
             "@-moz-document domain(x)\n\xf0\x9f\x98"s,
         }) {
        expectSound(text);
    }
    // Unicode spaces around the code are trimmed whole.
    const auto spaced = readUserCSS("\u3000\u00a0p { color: red }\u2028\u3000");
    ASSERT_TRUE(spaced);
    EXPECT_EQ(spaced->styleData.sections[0].code, "p { color: red }");
    const auto stylus = readUserCSS(
        "/* ==UserStyle==\n@preprocessor stylus\n==/UserStyle== */\n@-moz-document "
        "domain(x)\n\u3000é\n\tb");
    ASSERT_TRUE(stylus);
    EXPECT_EQ(stylus->styleData.sections[0].code, "é\nb");
}

TEST(BadInput, RandomBytesAndRandomPiecesOfDocuments) {
    std::mt19937 rng(20240611);
    // Pieces of documents, separated by "|".
    std::vector<std::string> pieces;
    const std::string_view all =
        "@-moz-document |domain(|url(|url-prefix(|regexp(|'|\"|`|)|),| {|){|\n{|{|}|/*|*/|//|\n|"
        "\r\n|\r|\t|    |\\|\\/|:|,|*|==UserStyle==|==/UserStyle== */|@name x\n|@var |"
        "@advanced |select s 'S' {|dropdown d \"D\" {|<<<EOT|EOT;|range r 'R' [|]|@description d\n|"
        "@preprocessor stylus\n|é|\u3000|\xc3|\x80|a| ";
    for (std::size_t start = 0; start <= all.size();) {
        const std::size_t end = std::min(all.find('|', start), all.size());
        pieces.emplace_back(all.substr(start, end - start));
        start = end + 1;
    }
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int n = std::uniform_int_distribution<int>(0, 60)(rng);
        for (int i = 0; i < n; ++i) {
            text += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(rng)];
        }
        expectSound(text);
    }
    for (int round = 0; round < 300; ++round) {
        std::string bytes(std::uniform_int_distribution<std::size_t>(0, 4096)(rng), '\0');
        for (char& c : bytes) {
            c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
        }
        expectSound(bytes);
    }
}

std::string blocks(std::size_t count, std::size_t bodyLines) {
    std::string text = "/* ==UserStyle==\n@name Many\n@var color c 'C' #000\n==/UserStyle== */\n";
    for (std::size_t i = 0; i < count; ++i) {
        text += "@-moz-document domain(\"d" + std::to_string(i) +
                ".example\"), url-prefix('https://x/" + std::to_string(i) + "') {\n";
        for (std::size_t k = 0; k < bodyLines; ++k) {
            text += "\t.c" + std::to_string(k) + " { color: /*[[c]]*/; margin: 0 auto; }\n";
        }
        text += "}\n/* note */\n";
    }
    return text;
}

TEST(BadInput, HugeDocumentsAreReadWhole) {
    const auto many = readUserCSS(blocks(100000, 1));
    ASSERT_TRUE(many);
    ASSERT_EQ(many->styleData.sections.size(), 100000u);
    EXPECT_EQ(many->styleData.sections[99999].domains, std::vector<std::string>{"d99999.example"});

    // A 1 MB line: one block, and one metadata line.
    const std::string line(1 << 20, 'x');
    const auto oneLine = readUserCSS("@-moz-document domain(x) { a: " + line + " }");
    ASSERT_TRUE(oneLine);
    EXPECT_EQ(oneLine->styleData.sections[0].code.size(), line.size() + 3);
    const auto longMeta =
        readUserCSS("/* ==UserStyle==\n@description " + line + "\n==/UserStyle== */\np{}");
    ASSERT_TRUE(longMeta);
    EXPECT_EQ(longMeta->description, line);

    // 100,000 options, in each option syntax.
    std::string object = "select s 'S' {";
    std::string array = "select s 'S' [";
    std::string hereDoc = "dropdown d 'D' {";
    for (int i = 0; i < 100000; ++i) {
        const std::string n = std::to_string(i);
        object += "'o" + n + ":O" + n + "': '#" + n + "', ";
        array += "o" + n + ", ";
        hereDoc += "o" + n + " \"O" + n + "\" <<<EOT v" + n + " EOT;\n";
    }
    EXPECT_EQ(parseVariableDeclaration(object + "}")->selectOptions->size(), 100000u);
    EXPECT_EQ(parseVariableDeclaration(array + "]")->selectOptions->size(), 100000u);
    EXPECT_EQ(parseVariableDeclaration(hereDoc + "}")->selectOptions->size(), 100000u);
}

// The processor time of this thread, so that other work on the machine does not count.
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The fastest of three runs, in seconds of processor time.
double seconds(const std::function<void()>& run) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const double start = threadSeconds();
        run();
        best = std::min(best, threadSeconds() - start);
    }
    return best;
}

// Eight times the text may take at most 24 times as long (a quadratic reader takes 64 times).
void expectLinear(const std::string& what, const std::function<std::string(std::size_t)>& make,
                  const std::function<void(const std::string&)>& run) {
    const std::string small = make(1);
    const std::string large = make(8);
    const double t1 = seconds([&] { run(small); });
    const double t8 = seconds([&] { run(large); });
    EXPECT_LT(t8, 24 * std::max(t1, 1e-4)) << what << ": " << small.size() << " bytes in " << t1
                                           << " s, " << large.size() << " bytes in " << t8 << " s";
}

TEST(BadInput, TimeGrowsLinearlyWithTheText) {
    const auto repeat = [](std::string unit, std::size_t times) {
        std::string out;
        out.reserve(unit.size() * times);
        for (std::size_t i = 0; i < times; ++i) {
            out += unit;
        }
        return out;
    };
    using Make = std::function<std::string(std::size_t)>;
    const std::pair<const char*, Make> documents[] = {
        {"many blocks", [&](std::size_t k) { return blocks(1000 * k, 4); }},
        {"one big block",
         [&](std::size_t k) { return "@-moz-document x {" + repeat("a{b:c}\n", 50000 * k) + "}"; }},
        {"braces that never close",
         [&](std::size_t k) { return "@-moz-document x " + repeat("{", 500000 * k); }},
        {"blocks without a header end",
         [&](std::size_t k) { return repeat("@-moz-document domain(x)\n", 20000 * k); }},
        {"comments everywhere",
         [&](std::size_t k) { return "a {}" + repeat("/*/ @-moz-document */", 20000 * k); }},
        {"many rules",
         [&](std::size_t k) {
             return "@-moz-document " + repeat("regexp('a\\\\/b'), ", 10000 * k) + "{x}";
         }},
        {"long description",
         [&](std::size_t k) {
             return "/* ==UserStyle==\n@description x\n" + repeat("more text\n", 10000 * k) +
                    "==/UserStyle== */\np{}";
         }},
        {"long variable",
         [&](std::size_t k) {
             return "/* ==UserStyle==\n@var select s 'S' {\n" + repeat("'a:b': 'c',\n", 5000 * k) +
                    "}\n==/UserStyle== */\np{}";
         }},
    };
    for (const auto& [what, make] : documents) {
        expectLinear(what, make, [](const std::string& text) { readUserCSS(text); });
    }
    const std::pair<const char*, Make> declarations[] = {
        {"here-document options",
         [&](std::size_t k) {
             return "dropdown d 'D' {" + repeat("o \"O\" <<<EOT v EOT;", 5000 * k) + "}";
         }},
        {"numbers",
         [&](std::size_t k) { return "range r 'R' [" + repeat("1, 'px', ", 10000 * k) + "]"; }},
    };
    for (const auto& [what, make] : declarations) {
        expectLinear(what, make, [](const std::string& text) { parseVariableDeclaration(text); });
    }
}

}  // namespace
}  // namespace orlavine
