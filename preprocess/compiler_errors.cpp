#include "preprocess/compiler_errors.h"

namespace orlavine {

std::string compilerErrorTitle(const CompilerError& error) {
    return "Compiler Error (" + error.styleName + ")";
}

std::string_view compilerErrorHeader(StyleCompilerKind compiler) {
    return compiler == StyleCompilerKind::less ? "A Less compilation error occurred."
                                               : "A Stylus compilation error occurred.";
}

std::string_view shownErrorText(std::string_view text) {
    const std::size_t cut = text.find("Error.captureStackTrace");
    return cut == std::string_view::npos ? text : text.substr(0, cut);
}

void ConsoleCompilerErrors::showCompilerError(const CompilerError& error) {
    ++shown_;
    reporter_.consoleLine(compilerErrorTitle(error));
    reporter_.consoleLine(compilerErrorHeader(error.compiler));
    reporter_.consoleLine(error.text);
    if (CompilerErrorSink* windows = windows_.load()) {
        windows->showCompilerError(error);
    }
}

}  // namespace orlavine
