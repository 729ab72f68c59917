#include "app/gui/preview_compiler.h"

namespace orlavine::gui {

PreviewCompiler::PreviewCompiler()
    : preprocessor_(StylePreprocessor::Services{&quiet_, &errors_, {}, {}, nullptr}) {}

bool PreviewCompiler::compile(styleContainer& style) {
    const std::size_t before = errors_.shownCount();
    preprocessor_.compileStyle(style);
    return errors_.shownCount() == before;
}

}  // namespace orlavine::gui
