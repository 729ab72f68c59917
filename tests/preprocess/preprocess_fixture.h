#pragma once
// What the compilation tests share: recorders for console lines, alerts and compiler errors, the
// scripts the build put next to the program, and small style builders.

#include <mutex>
#include <string>
#include <vector>

#include "model/records.h"
#include "model/reporter.h"
#include "preprocess/compiler_errors.h"
#include "preprocess/style_preprocessor.h"

namespace orlavine::testing {

class RecordingReporter : public Reporter {
  public:
    void consoleLine(std::string_view line) override {
        std::lock_guard lock(mutex_);
        lines.emplace_back(line);
    }
    void showAlert(std::string_view message, std::string_view informative) override {
        std::lock_guard lock(mutex_);
        alerts.emplace_back(std::string(message) + "|" + std::string(informative));
    }
    std::vector<std::string> lines;
    std::vector<std::string> alerts;

  private:
    std::mutex mutex_;
};

class RecordingErrors : public CompilerErrorSink {
  public:
    void showCompilerError(const CompilerError& error) override { errors.push_back(error); }
    std::vector<CompilerError> errors;
};

inline std::filesystem::path builtScriptDirectory() {
    return std::filesystem::path(ORLAVINE_BINARY_DIR) / "app" / "resources";
}

// A preprocessor with recorders, using the scripts the build copied next to the program.
struct PreprocessorUnderTest {
    RecordingReporter reporter;
    RecordingErrors errors;
    StylePreprocessor preprocessor;

    explicit PreprocessorUnderTest(ScriptLimits limits = {},
                                   std::filesystem::path scripts = builtScriptDirectory())
        : preprocessor({&reporter, &errors, std::move(scripts), limits}) {}
};

inline styleSection section(std::vector<std::string> domains, std::string code) {
    styleSection s;
    s.domains = std::move(domains);
    s.code = std::move(code);
    return s;
}

inline userVariable variable(std::string type, std::string name, std::string current) {
    userVariable v;
    v.type = std::move(type);
    v.name = std::move(name);
    v.label = v.name;
    v.defaultValue = "";
    v.currentValue = std::move(current);
    return v;
}

inline styleContainer styleWith(std::string preprocessor, std::vector<styleSection> sections,
                                std::vector<userVariable> variables) {
    styleContainer style;
    style.uniqueID = 1;
    style.styleData.name = "Test Style";
    style.preprocessor = std::move(preprocessor);
    style.styleData.sections = std::move(sections);
    style.userVariables = std::move(variables);
    return style;
}

}  // namespace orlavine::testing
