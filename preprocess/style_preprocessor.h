#pragma once
// compileStyle: refreshes a style's compiled code for every preprocessor. "uso" and no
// preprocessor get placeholder substitution, "default" a ":root" block, "less" and "stylus" are
// compiled in the JavaScript engine and their output is cut back into compSections, "sass" gets an
// alert. Runs on the caller's thread; errors are reported, never returned.

#include <filesystem>

#include "model/records.h"
#include "model/reporter.h"
#include "model/style_compiler.h"
#include "preprocess/compiler_errors.h"
#include "preprocess/less_imports.h"
#include "preprocess/script_engine.h"

namespace orlavine {

inline constexpr const char* kSassAlertMessage = "Incompatible Preprocessor";
inline constexpr const char* kSassAlertText =
    "Styles that require the Sass preprocessor are not currently supported. You may install the "
    "style anyway, but some or all of the style may not function correctly.";
inline constexpr const char* kUnableToLoadLess = "Unable to load Less.";
inline constexpr const char* kUnableToLoadStylus = "Unable to load Stylus.";
inline constexpr const char* kCompiledStyleWasNil = "compiled style was nil";

class StylePreprocessor : public StyleCompiler {
  public:
    struct Services {
        Reporter* reporter = nullptr;           // required: console lines and the Sass alert
        CompilerErrorSink* errors = nullptr;    // required
        std::filesystem::path scriptDirectory;  // empty: next to the program
        ScriptLimits limits;
        LessImportSource* imports = nullptr;  // none: Less cannot import from addresses
    };

    explicit StylePreprocessor(Services services);

    void compileStyle(styleContainer& style) override;

  private:
    void compileLess(styleContainer& style);
    void compileStylus(styleContainer& style);
    // Reads compiler output back into compSections.
    void takeCompiledText(styleContainer& style, const std::string& css);
    void reportError(const styleContainer& style, StyleCompilerKind compiler,
                     std::string_view text);

    Services services_;
};

}  // namespace orlavine
