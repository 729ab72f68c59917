#pragma once
// The compiler error window: one per failed Less or Stylus compile, titled with the style's
// name, showing the compiler's text unwrapped in a monospace font. Errors arrive on any thread
// and are shown on the main thread.

#include <QObject>
#include <QWidget>

#include "preprocess/compiler_errors.h"

namespace orlavine::gui {

class CompilerErrorWindow : public QWidget {
    Q_OBJECT
  public:
    explicit CompilerErrorWindow(const CompilerError& error, QWidget* parent = nullptr);
    QString errorText() const;
    QString header() const;
};

// Opens a CompilerErrorWindow for each error, on the thread of `context`.
class CompilerErrorWindows : public QObject, public CompilerErrorSink {
    Q_OBJECT
  public:
    using QObject::QObject;
    void showCompilerError(const CompilerError& error) override;

  signals:
    // On the main thread, with the window just shown.
    void shown(orlavine::gui::CompilerErrorWindow* window);
};

}  // namespace orlavine::gui
