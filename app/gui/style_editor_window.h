#pragma once
// The style editor window: one style, a section at a time in the code editor, the section
// commands and sheets, export, and save (compiled off the main thread). It tells the list when
// it closes, follows renames, and closes when the cloud library changed its style.

#include <QMainWindow>
#include <QTimer>
#include <QUndoStack>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/code_editor/code_editor.h"
#include "app/gui/main_thread_work.h"
#include "app/gui/notice_bridge.h"
#include "app/gui/prompter.h"
#include "library/live_preview.h"
#include "library/style_editor_document.h"
#include "session/session.h"

class QAction;
class QComboBox;
class QLabel;

namespace orlavine::gui {

inline constexpr const char* kSaveErrorTitle = "Error Saving File";
inline constexpr const char* kSaveErrorText = "An error occurred while saving.";
// How long typing must pause before the working copy goes to the live preview.
inline constexpr std::chrono::milliseconds kPreviewPause{150};

class StyleEditorWindow : public QMainWindow {
    Q_OBJECT
  public:
    // With `preview`, the "Live preview" switch (on at first) shows the working copy in the
    // browser while it is typed, without saving; closing the window ends it.
    StyleEditorWindow(Session& session, Prompter& prompter, styleContainer style,
                      std::shared_ptr<LivePreview> preview = nullptr, QWidget* parent = nullptr);
    ~StyleEditorWindow() override;

    std::int64_t styleID() const { return styleID_; }
    StyleEditorDocument& document() { return document_; }
    CodeEditor& editor() { return *editor_; }
    QComboBox& sectionPicker() { return *picker_; }
    QUndoStack& undoStack() { return undo_; }
    // The "Live preview" switch; none without a preview.
    QAction* previewSwitch() { return previewSwitch_; }

    // The section commands; each first takes the editor's current text into the document.
    void selectSection(int index);
    void previousSection();
    void nextSection();
    void addSection(const StyleEditorDocument::NewSection& sheet);
    void duplicateSection();
    void deleteSection();
    void exportSection();
    void setMetadata(const StyleEditorDocument::Metadata& sheet);
    void setRules(const ruleDictionary& rows);
    void beautify();
    // Saves the working copy; `done` runs on the main thread with whether it was stored.
    void save(std::function<void(bool)> done = {});

  signals:
    void saved();
    // The window is closing; the list forgets it.
    void closing(std::int64_t uniqueID);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildToolbar();
    void buildMenus();
    void showSection();
    void refreshPicker();
    void markEdited();
    // Runs `next` once the page's text is in the document.
    void withCurrentText(std::function<void()> next);
    void onNotice(const Notification& notification);
    void openNewSectionSheet();
    void openRuleEditor();
    void openMetadataEditor();
    void openExport();
    // Sends the working copy to the preview once typing pauses.
    void schedulePreview();
    void endPreview();

    Session& session_;
    Prompter& prompter_;
    std::int64_t styleID_;
    StyleEditorDocument document_;
    CodeEditor* editor_;
    QComboBox* picker_ = nullptr;
    QLabel* readOnlyLabel_ = nullptr;
    QUndoStack undo_;
    std::shared_ptr<LivePreview> preview_;
    QAction* previewSwitch_ = nullptr;
    QTimer previewTimer_;
    NoticeBridge bridge_;
    bool closeWithoutAsking_ = false;
    bool told_ = false;
    BackgroundWork work_{this};
};

}  // namespace orlavine::gui
