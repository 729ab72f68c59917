#pragma once
// The export view: a style as a UserCSS document in a read-only editor, saved to a file the user
// picks ("Export User CSS File").

#include <QWidget>

#include "app/code_editor/code_editor.h"
#include "app/gui/prompter.h"
#include "session/session.h"

namespace orlavine::gui {

inline constexpr const char* kExportUserCSSTitle = "Export User CSS File";

class ExportWindow : public QWidget {
    Q_OBJECT
  public:
    ExportWindow(Session& session, Prompter& prompter, const styleContainer& style,
                 QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    CodeEditor& editor() { return *editor_; }
    // The save panel, then the file; false when cancelled or when the write failed (alerted).
    bool save();

  private:
    Prompter& prompter_;
    QString name_;
    QString text_;
    CodeEditor* editor_;
};

}  // namespace orlavine::gui
