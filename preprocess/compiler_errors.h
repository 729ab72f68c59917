#pragma once
// How a failed Less or Stylus compilation reaches the user: the error text, the style's name and
// the compiler, handed to whatever shows it (a window on the desktop, lines on the command line).

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

#include "model/reporter.h"

namespace orlavine {

enum class StyleCompilerKind { less, stylus };

struct CompilerError {
    std::string text;  // already cut before "Error.captureStackTrace"
    std::string styleName;
    StyleCompilerKind compiler = StyleCompilerKind::less;

    bool operator==(const CompilerError&) const = default;
};

class CompilerErrorSink {
  public:
    virtual ~CompilerErrorSink() = default;
    // Called on the compiling thread; a window must be queued to the main thread.
    virtual void showCompilerError(const CompilerError& error) = 0;
};

// "Compiler Error (" + style name + ")".
std::string compilerErrorTitle(const CompilerError& error);
// "A Less compilation error occurred." or "A Stylus compilation error occurred."
std::string_view compilerErrorHeader(StyleCompilerKind compiler);
// The part of an error text before the first "Error.captureStackTrace", or all of it.
std::string_view shownErrorText(std::string_view text);

// Writes each error as console lines: the title, the header and the text.
class ConsoleCompilerErrors : public CompilerErrorSink {
  public:
    explicit ConsoleCompilerErrors(Reporter& reporter) : reporter_(reporter) {}
    void showCompilerError(const CompilerError& error) override;
    // How many errors were shown so far.
    std::size_t shownCount() const { return shown_; }
    // Each error is also handed to `windows` (the desktop's error windows); null stops that.
    void alsoShowIn(CompilerErrorSink* windows) { windows_.store(windows); }

  private:
    Reporter& reporter_;
    std::atomic<std::size_t> shown_{0};
    std::atomic<CompilerErrorSink*> windows_{nullptr};
};

}  // namespace orlavine
