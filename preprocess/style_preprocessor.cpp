#include "preprocess/style_preprocessor.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "formats/usercss_reader.h"
#include "preprocess/code_substitution.h"
#include "preprocess/combined_section_text.h"
#include "preprocess/script_resources.h"
#include "preprocess/variable_text.h"
#include "text/text.h"

namespace orlavine {
namespace {

constexpr const char* kLessCatchError = "function catchError(err){if (err) throw err; }";
constexpr const char* kLessRender =
    "less.render(str).then(result => {compiled = result.css;}, err => {errorMsg = err;});";
// Lets Less import from http and https addresses through the program: the last file manager
// added is asked first, so this one takes every import from an address or made relative to one.
constexpr const char* kLessAddressImports =
    "(function(){var FM=less.FileManager;function R(){}R.prototype=new FM();"
    "var web=/^https?:\\/\\//i;"
    "R.prototype.supports=function(f,d){return web.test(f)||web.test(d||'');};"
    "R.prototype.supportsSync=function(){return false;};"
    "R.prototype.loadFile=function(f,d){var url=web.test(f)?f:(d||'')+f;"
    "var t=__orlavineFetchImport(url);"
    "if(t===null)return Promise.reject({type:'File',message:\"'\"+url+\"' wasn't found\"});"
    "return Promise.resolve({contents:t,filename:url});};"
    "less.environment.addFileManager(new R());})();";
constexpr const char* kStylusCatchError =
    "function catchError(err, css){if (err) throw err; console.log(css); }";
constexpr const char* kStylusNewRenderer = "renderer = new StylusRenderer(str);";
constexpr const char* kStylusRender = "renderer.render();";

struct Scripts {
    std::string encoding;
    std::string compiler;
    std::filesystem::path encodingFile;
    std::filesystem::path compilerFile;
};

std::optional<Scripts> loadScripts(const std::filesystem::path& directory,
                                   const char* compilerName) {
    auto compiler = readScript(directory, compilerName);
    if (!compiler) {
        return std::nullopt;
    }
    auto encoding = readScript(directory, kEncodingScript);
    if (!encoding) {
        return std::nullopt;
    }
    return Scripts{std::move(*encoding), std::move(*compiler), directory / kEncodingScript,
                   directory / compilerName};
}

const ScriptFailure* failureOf(const ScriptText& result) {
    return std::get_if<ScriptFailure>(&result);
}

}  // namespace

StylePreprocessor::StylePreprocessor(Services services) : services_(std::move(services)) {
    if (services_.scriptDirectory.empty()) {
        services_.scriptDirectory = programScriptDirectory();
    }
}

void StylePreprocessor::compileStyle(styleContainer& style) {
    if (!style.userVariables) {
        return;
    }
    const std::string preprocessor = text::asciiLower(style.preprocessor);
    if (preprocessor == "sass") {
        services_.reporter->showAlert(kSassAlertMessage, kSassAlertText);
    }
    if (preprocessor == "less") {
        compileLess(style);
    } else if (preprocessor == "stylus") {
        compileStylus(style);
    } else if (preprocessor == "uso" || style.preprocessor.empty()) {
        substitutePlaceholders(style);
    } else if (preprocessor == "default") {
        prependRootBlock(style);
    }
}

void StylePreprocessor::compileLess(styleContainer& style) {
    auto scripts = loadScripts(services_.scriptDirectory, kLessScript);
    if (!scripts) {
        services_.reporter->consoleLine(kUnableToLoadLess);
        return;
    }
    // Declared before the realm, which may call it until it ends.
    const ScriptRealm::TextFunction fetchImport = [this](const std::string& url) {
        return services_.imports->fetch(url);
    };
    ScriptRealm realm(services_.limits);
    auto fail = [&](const ScriptText& result) {
        const ScriptFailure* failure = failureOf(result);
        if (failure != nullptr) {
            reportError(style, StyleCompilerKind::less, failure->text);
        }
        return failure != nullptr;
    };
    // An exception while loading the scripts leaves nothing to compile with: one error is
    // enough.
    if (fail(realm.evaluateKept(scripts->encoding, scripts->encodingFile.string())) ||
        fail(realm.evaluateKept(scripts->compiler, scripts->compilerFile.string())) ||
        fail(realm.evaluate(kLessCatchError))) {
        return;
    }
    if (services_.imports != nullptr &&
        (!realm.defineFunction("__orlavineFetchImport", fetchImport) ||
         fail(realm.evaluate(kLessAddressImports)))) {
        return;
    }
    if (!realm.setGlobalString("str",
                               lessDefinitionBlock(style) + "\n" + combinedSectionText(style))) {
        reportError(style, StyleCompilerKind::less, "The style's text could not be handed over.");
        return;
    }
    if (fail(realm.evaluate(kLessRender))) {
        return;
    }
    const ScriptText compiled = realm.globalText("compiled");
    const ScriptText errorMessage = realm.globalText("errorMsg");
    if (fail(errorMessage) || fail(compiled)) {
        return;
    }
    const auto& errorText = std::get<std::string>(errorMessage);
    if (errorText != "undefined") {
        reportError(style, StyleCompilerKind::less, errorText);
    }
    const auto& css = std::get<std::string>(compiled);
    if (text::trimmed(css) != "undefined") {
        // The compiled CSS is not logged: on the command line console lines go to standard
        // error, where a whole style's CSS is noise on every import and set-var.
        takeCompiledText(style, css);
    }
}

void StylePreprocessor::compileStylus(styleContainer& style) {
    auto scripts = loadScripts(services_.scriptDirectory, kStylusScript);
    if (!scripts) {
        services_.reporter->consoleLine(kUnableToLoadStylus);
        return;
    }
    ScriptRealm realm(services_.limits);
    auto fail = [&](const ScriptText& result) {
        const ScriptFailure* failure = failureOf(result);
        if (failure != nullptr) {
            reportError(style, StyleCompilerKind::stylus, failure->text);
        }
        return failure != nullptr;
    };
    if (fail(realm.evaluateKept(scripts->encoding, scripts->encodingFile.string())) ||
        fail(realm.evaluateKept(scripts->compiler, scripts->compilerFile.string())) ||
        fail(realm.evaluate(kStylusCatchError))) {
        return;
    }
    if (!realm.setGlobalString("str",
                               stylusDefinitionBlock(style) + "\n" + combinedSectionText(style))) {
        reportError(style, StyleCompilerKind::stylus, "The style's text could not be handed over.");
        return;
    }
    if (fail(realm.evaluate(kStylusNewRenderer))) {
        return;
    }
    const ScriptText rendered = realm.evaluate(kStylusRender);
    if (fail(rendered)) {
        return;
    }
    const auto& css = std::get<std::string>(rendered);
    if (text::trimmed(css) != "undefined") {
        takeCompiledText(style, css);
    }
}

void StylePreprocessor::takeCompiledText(styleContainer& style, const std::string& css) {
    auto compiledStyle = rereadUserCSS(css, services_.reporter);
    if (!compiledStyle) {
        services_.reporter->consoleLine(kCompiledStyleWasNil);
        return;
    }
    style.styleData.compSections = std::move(compiledStyle->styleData.sections);
}

void StylePreprocessor::reportError(const styleContainer& style, StyleCompilerKind compiler,
                                    std::string_view text) {
    services_.errors->showCompilerError(
        CompilerError{std::string(shownErrorText(text)), style.styleData.name, compiler});
}

}  // namespace orlavine
