#pragma once
// Compiles the working copies of live preview on its own: no alerts, no error windows, no
// imports from the network; only whether the copy compiled.

#include <memory>

#include "model/records.h"
#include "model/reporter.h"
#include "preprocess/compiler_errors.h"
#include "preprocess/style_preprocessor.h"

namespace orlavine::gui {

class PreviewCompiler {
  public:
    PreviewCompiler();
    // Not thread-safe: one compile at a time.
    bool compile(styleContainer& style);

  private:
    class Quiet : public Reporter {
      public:
        void consoleLine(std::string_view) override {}
        void showAlert(std::string_view, std::string_view) override {}
    };
    Quiet quiet_;
    ConsoleCompilerErrors errors_{quiet_};
    StylePreprocessor preprocessor_;
};

}  // namespace orlavine::gui
