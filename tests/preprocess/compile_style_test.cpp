// Real compilations in the JavaScript engine, with the scripts the build installs.
#include <gtest/gtest.h>

#include <pthread.h>

#include <chrono>
#include <thread>

#include "model/style_store.h"
#include "preprocess/script_engine.h"
#include "preprocess_fixture.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

using testing::PreprocessorUnderTest;
using testing::section;
using testing::styleWith;
using testing::variable;

std::vector<userVariable> everyKind() {
    userVariable theme = variable("select", "theme", "1");
    theme.selectOptions =
        std::vector<variableOption>{{"dark", "Dark", "#111*"}, {"light", "Light", "#eee*"}};
    userVariable size = variable("range", "size", "14");
    size.rangeOptions = rangeOpts{8, 32, 1, "px"};
    userVariable gap = variable("number", "gap", "3");
    gap.rangeOptions = rangeOpts{0, 10, 1, std::nullopt};
    return {variable("color", "accent", "#ff0000"),
            variable("text", "font", "Georgia"),
            variable("checkbox", "bold", "1"),
            theme,
            size,
            gap};
}

TEST(CompileLess, VariablesNestingAndMixinsBecomeCompiledSections) {
    PreprocessorUnderTest t;
    auto style =
        styleWith("LESS",
                  {section({"example.com"},
                           ".rounded(@r) { border-radius: @r; }\n"
                           "body { color: @accent; font-family: @font; background: @theme;\n"
                           "  font-size: @size; margin: (@gap * 2px);\n"
                           "  & when (@bold = 1) { font-weight: bold; }\n"
                           "  .card { .rounded(4px); a { color: darken(@accent, 10%); } } }"),
                   section({}, "html { outline: none; }")},
                  everyKind());
    const auto source = style.styleData.sections;
    t.preprocessor.compileStyle(style);

    ASSERT_TRUE(t.errors.errors.empty()) << t.errors.errors[0].text;
    ASSERT_TRUE(style.styleData.compSections.has_value());
    const auto& compiled = *style.styleData.compSections;
    ASSERT_EQ(compiled.size(), 2u);
    EXPECT_EQ(compiled[0].domains, std::vector<std::string>{"example.com"});
    const std::string& css = compiled[0].code;
    for (const char* expected :
         {"color: #ff0000;", "font-family: Georgia;", "background: #eee;", "font-size: 14px;",
          "margin: 6px;", "font-weight: bold;", "body .card {", "border-radius: 4px;",
          "body .card a {", "color: #cc0000;"}) {
        EXPECT_NE(css.find(expected), std::string::npos) << expected << " in\n" << css;
    }
    EXPECT_NE(compiled[1].code.find("outline: none;"), std::string::npos);
    EXPECT_EQ(style.styleData.sections, source);  // the source is kept for editing
    // The compiled text stays out of the console (standard error on the command line).
    for (const std::string& line : t.reporter.lines) {
        EXPECT_EQ(line.find("border-radius: 4px;"), std::string::npos) << line;
    }
}

TEST(CompileLess, ASyntaxErrorIsShownOnceAndKeepsTheLastGoodCompilation) {
    PreprocessorUnderTest t;
    auto style = styleWith("less", {section({"a.com"}, "a { color: @accent; }")},
                           {variable("color", "accent", "blue")});
    t.preprocessor.compileStyle(style);
    ASSERT_TRUE(style.styleData.compSections.has_value());
    const auto good = *style.styleData.compSections;

    style.styleData.sections[0].code = "a { color: @accent; \n b { ";
    t.preprocessor.compileStyle(style);
    ASSERT_EQ(t.errors.errors.size(), 1u);
    const CompilerError& error = t.errors.errors[0];
    EXPECT_EQ(compilerErrorTitle(error), "Compiler Error (Test Style)");
    EXPECT_EQ(error.compiler, StyleCompilerKind::less);
    EXPECT_NE(error.text.find("Error"), std::string::npos) << error.text;
    EXPECT_EQ(style.styleData.compSections, good);

    // An undefined variable is an error too, not a silent "undefined".
    style.styleData.sections[0].code = "a { color: @missing; }";
    t.preprocessor.compileStyle(style);
    ASSERT_EQ(t.errors.errors.size(), 2u);
    EXPECT_NE(t.errors.errors[1].text.find("missing"), std::string::npos);
    EXPECT_EQ(style.styleData.compSections, good);
}

TEST(CompileLess, OnlyAPresentVariableListStartsACompilation) {
    PreprocessorUnderTest t;
    auto style = styleWith("less", {section({}, "a { b: c; }")}, {});
    style.userVariables.reset();
    t.preprocessor.compileStyle(style);
    EXPECT_FALSE(style.styleData.compSections.has_value());

    style.userVariables.emplace();
    t.preprocessor.compileStyle(style);
    ASSERT_TRUE(style.styleData.compSections.has_value());
    EXPECT_NE(style.styleData.compSections->at(0).code.find("b: c;"), std::string::npos);
}

TEST(CompileLess, AnEndlessMixinIsStoppedAndTheNextStyleCompiles) {
    ScriptLimits limits;
    limits.time = std::chrono::seconds(3);
    PreprocessorUnderTest t(limits);
    auto endless = styleWith("less",
                             {section({},
                                      ".loop(@i) when (@i > 0) { .loop(@i + 1); }\n"
                                      "a { .loop(1); }")},
                             {});
    const auto start = std::chrono::steady_clock::now();
    t.preprocessor.compileStyle(endless);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    ASSERT_EQ(t.errors.errors.size(), 1u);
    EXPECT_FALSE(endless.styleData.compSections.has_value());

    auto fine = styleWith("less", {section({}, "a { b: c; }")}, {});
    t.preprocessor.compileStyle(fine);
    EXPECT_EQ(t.errors.errors.size(), 1u);
    EXPECT_TRUE(fine.styleData.compSections.has_value());
}

TEST(CompileLess, ATwoMegabyteStyleCompiles) {
    PreprocessorUnderTest t;
    std::string code;
    for (int i = 0; code.size() < (std::size_t{2} << 20); ++i) {
        code += ".item-" + std::to_string(i) +
                " { color: @accent; .inner { margin: " + std::to_string(i % 40) + "px; } }\n";
    }
    auto style = styleWith("less", {section({"big.example"}, code)},
                           {variable("color", "accent", "#123456")});
    t.preprocessor.compileStyle(style);
    ASSERT_TRUE(t.errors.errors.empty()) << t.errors.errors[0].text;
    ASSERT_TRUE(style.styleData.compSections.has_value());
    EXPECT_NE(style.styleData.compSections->at(0).code.find(".item-9999 .inner"),
              std::string::npos);
}

TEST(CompileStylus, BracesAndIndentedBlocks) {
    PreprocessorUnderTest t;
    auto style =
        styleWith("stylus",
                  {section({"a.com"}, "body\n\tcolor accent\n\t.x\n\t\tmargin gap"),
                   section({"b.com"}, "p { color: darken(accent, 50%) }")},
                  {variable("color", "accent", "#ff0000"), variable("text", "gap", "2px")});
    t.preprocessor.compileStyle(style);
    ASSERT_TRUE(t.errors.errors.empty()) << t.errors.errors[0].text;
    ASSERT_TRUE(style.styleData.compSections.has_value());
    const auto& compiled = *style.styleData.compSections;
    ASSERT_EQ(compiled.size(), 2u);
    EXPECT_EQ(compiled[0].domains, std::vector<std::string>{"a.com"});
    EXPECT_NE(compiled[0].code.find("color: #f00;"), std::string::npos) << compiled[0].code;
    EXPECT_NE(compiled[0].code.find("body .x"), std::string::npos);
    EXPECT_NE(compiled[0].code.find("margin: 2px;"), std::string::npos);
    EXPECT_EQ(compiled[1].domains, std::vector<std::string>{"b.com"});
    EXPECT_NE(compiled[1].code.find("color: #800000;"), std::string::npos) << compiled[1].code;

    const auto good = compiled;
    style.styleData.sections[1].code = "p { color: (((";
    t.preprocessor.compileStyle(style);
    ASSERT_EQ(t.errors.errors.size(), 1u);
    EXPECT_EQ(t.errors.errors[0].compiler, StyleCompilerKind::stylus);
    EXPECT_EQ(style.styleData.compSections, good);
}

TEST(CompileStyle, SassAlertsOnEveryRunAndPlainStylesAreSubstituted) {
    PreprocessorUnderTest t;
    auto sass = styleWith("SaSS", {section({}, "$a: 1;")}, {});
    t.preprocessor.compileStyle(sass);
    t.preprocessor.compileStyle(sass);
    ASSERT_EQ(t.reporter.alerts.size(), 2u);
    EXPECT_EQ(t.reporter.alerts[0], std::string(kSassAlertMessage) + "|" + kSassAlertText);
    EXPECT_FALSE(sass.styleData.sections[0].compiledcode.has_value());
    sass.userVariables.reset();
    t.preprocessor.compileStyle(sass);
    EXPECT_EQ(t.reporter.alerts.size(), 2u);

    for (const char* name : {"", "USO"}) {
        auto uso = styleWith(name, {section({}, "a{b:/*[[v]]*/;c:/*[[v]]*/}")},
                             {variable("text", "v", "1px")});
        uso.styleData.compSections = std::vector<styleSection>{};
        t.preprocessor.compileStyle(uso);
        EXPECT_EQ(uso.styleData.sections[0].compiledcode, "a{b:1px;c:1px}") << name;
        EXPECT_FALSE(uso.styleData.compSections.has_value());
    }
    auto blank = styleWith(" uso", {section({}, "a{b:/*[[v]]*/}")}, {variable("text", "v", "1")});
    t.preprocessor.compileStyle(blank);
    EXPECT_FALSE(blank.styleData.sections[0].compiledcode.has_value());

    auto plain = styleWith("default", {section({}, "a{}"), section({"x.org"}, "b{}")},
                           {variable("color", "bg", "#fff"), variable("text", "font", "Arial")});
    t.preprocessor.compileStyle(plain);
    EXPECT_EQ(plain.styleData.sections[1].compiledcode,
              ":root {\n\t--bg: #fff;\n\t--font: Arial;\n}\nb{}");
}

TEST(CompileStyle, MissingScriptsAreAConsoleLine) {
    testing::TempDir empty;
    PreprocessorUnderTest t({}, empty.path());
    auto less = styleWith("less", {section({}, "a{}")}, {});
    auto stylus = styleWith("stylus", {section({}, "a{}")}, {});
    t.preprocessor.compileStyle(less);
    t.preprocessor.compileStyle(stylus);
    EXPECT_EQ(t.reporter.lines, (std::vector<std::string>{kUnableToLoadLess, kUnableToLoadStylus}));
    EXPECT_TRUE(t.errors.errors.empty());
    EXPECT_FALSE(less.styleData.compSections.has_value());
}

TEST(CompileStyle, ErrorTextsAreCutBeforeTheStackTraceHelper) {
    EXPECT_EQ(shownErrorText("TypeError: x\n at Error.captureStackTrace (a.js:1)"),
              "TypeError: x\n at ");
    EXPECT_EQ(shownErrorText("plain"), "plain");
}

TEST(ScriptRealms, NothingSurvivesFromOneRunToTheNext) {
    {
        ScriptRealm first;
        ASSERT_TRUE(std::holds_alternative<std::string>(first.evaluate("leftover = 42;")));
        EXPECT_EQ(std::get<std::string>(first.evaluate("leftover")), "42");
    }
    ScriptRealm second;
    EXPECT_EQ(std::get<std::string>(second.evaluate("typeof leftover")), "undefined");
}

TEST(ScriptRealms, PromiseJobsRunBeforeTheCallReturns) {
    ScriptRealm realm;
    realm.evaluate("Promise.resolve(5).then(v => { done = v * 2; });");
    EXPECT_EQ(std::get<std::string>(realm.globalText("done")), "10");
    EXPECT_EQ(std::get<std::string>(realm.globalText("notThere")), "undefined");
    auto thrown = realm.evaluate("throw new TypeError('bad thing')");
    ASSERT_TRUE(std::holds_alternative<ScriptFailure>(thrown));
    EXPECT_EQ(std::get<ScriptFailure>(thrown).text, "TypeError: bad thing");
    EXPECT_EQ(std::get<std::string>(realm.evaluate("1 + 1")), "2");
}

TEST(ScriptRealms, EndlessLoopsAndAllocationsHitTheirLimits) {
    ScriptLimits limits;
    limits.time = std::chrono::milliseconds(300);
    {
        ScriptRealm realm(limits);
        auto result = realm.evaluate("for (;;) {}");
        ASSERT_TRUE(std::holds_alternative<ScriptFailure>(result));
        EXPECT_EQ(std::get<ScriptFailure>(result).kind, ScriptFailure::Kind::timeLimit);
    }
    limits.time = std::chrono::seconds(60);
    limits.memoryBytes = std::size_t{256} << 20;
    for (const char* hog :
         {"var a = []; for (;;) a.push({n: a.length});", "var b = []; for (;;) b.push(1.5);"}) {
        ScriptRealm realm(limits);
        auto result = realm.evaluate(hog);
        ASSERT_TRUE(std::holds_alternative<ScriptFailure>(result)) << hog;
        EXPECT_EQ(std::get<ScriptFailure>(result).kind, ScriptFailure::Kind::memoryLimit) << hog;
    }
    ScriptRealm after;
    EXPECT_EQ(std::get<std::string>(after.evaluate("'still' + ' here'")), "still here");
}

}  // namespace
}  // namespace orlavine

namespace orlavine {
namespace {

TEST(CompileLess, CssImportsStayAndUnreachableImportsAreAnError) {
    PreprocessorUnderTest t;
    auto css = styleWith("less",
                         {section({},
                                  "@import url(\"https://cdn.example/base.css\");\n"
                                  "a { color: @c; }")},
                         {testing::variable("color", "c", "red")});
    t.preprocessor.compileStyle(css);
    ASSERT_TRUE(t.errors.errors.empty()) << t.errors.errors[0].text;
    ASSERT_TRUE(css.styleData.compSections.has_value());
    std::string all;
    for (const auto& s : *css.styleData.compSections) {
        all += s.code;
    }
    EXPECT_NE(all.find("@import url(\"https://cdn.example/base.css\");"), std::string::npos) << all;

    // Without an import source a Less library at an address cannot be had: the style fails like
    // any other compilation error instead of hanging.
    auto remote =
        styleWith("less", {section({}, "@import \"https://lib.example/mixins.less\";")}, {});
    t.preprocessor.compileStyle(remote);
    EXPECT_EQ(t.errors.errors.size(), 1u);
    EXPECT_FALSE(remote.styleData.compSections.has_value());
}

TEST(CompileLess, ThreadsCompileAtTheSameTimeWithEnginesOfTheirOwn) {
    PreprocessorUnderTest t;
    std::vector<styleContainer> styles;
    for (int i = 0; i < 3; ++i) {
        styles.push_back(styleWith("less", {section({}, ".t" + std::to_string(i) + " { w: @w; }")},
                                   {testing::variable("text", "w", std::to_string(i) + "px")}));
    }
    std::vector<std::thread> threads;
    for (auto& style : styles) {
        threads.emplace_back([&t, &style] {
            for (int run = 0; run < 2; ++run) {
                t.preprocessor.compileStyle(style);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(styles[i].styleData.compSections.has_value()) << i;
        EXPECT_NE(styles[i].styleData.compSections->at(0).code.find(
                      ".t" + std::to_string(i) + " {\n  w: " + std::to_string(i) + "px;"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace orlavine

namespace orlavine {
namespace {

TEST(ScriptRealms, DeepRecursionOnASmallStackIsAnError) {
    // 256 KB of stack: the engine must report "too much recursion" well before the end of it.
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, std::size_t{256} << 10);
    std::string text;
    pthread_t thread;
    auto body = [](void* out) -> void* {
        ScriptRealm realm;
        auto result = realm.evaluate("function f(n) { return f(n + 1) + 1; } f(0)");
        auto* failure = std::get_if<ScriptFailure>(&result);
        *static_cast<std::string*>(out) = failure != nullptr ? failure->text : "no failure";
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, &text), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(text, "InternalError: too much recursion");
}

}  // namespace
}  // namespace orlavine
