#pragma once
// The paste-import window: CSS or a UserCSS document pasted into the code editor becomes a new
// style. Plain CSS is added for every site with its notice; a document that does not read keeps
// the window open with "Invalid Style".

#include <QWidget>

#include "app/code_editor/code_editor.h"
#include "app/gui/main_thread_work.h"
#include "library/library_services.h"
#include "library/style_import.h"

class QPushButton;

namespace orlavine::gui {

class PasteImportWindow : public QWidget {
    Q_OBJECT
  public:
    PasteImportWindow(const LibraryServices& services, const editor::Settings& settings,
                      QWidget* parent = nullptr);

    CodeEditor& editor() { return *editor_; }
    // Imports the editor's text off the main thread; the window closes unless it did not read.
    void import();

  signals:
    void imported(const orlavine::ImportOutcome& outcome);

  private:
    LibraryServices services_;
    CodeEditor* editor_;
    QPushButton* importButton_;
    BackgroundWork work_{this};
};

}  // namespace orlavine::gui
