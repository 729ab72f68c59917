#pragma once
// The code editing control of every window that shows CSS: an editor page in a web view, driven
// by short statements, with a copy of the text that can be read at once, a find bar, ranges,
// beautifying as one undo step, and the editor settings applied by one routine.

#include <QPointer>
#include <QString>
#include <QWidget>

#include "editor/editor_statements.h"

class QUndoStack;
class QWebEngineView;

namespace orlavine::gui {

class FindBar;

class CodeEditor : public QWidget {
    Q_OBJECT

  public:
    // `pageFolder` holds the editor page ("index.html"); empty means the one next to the program.
    explicit CodeEditor(QWidget* parent = nullptr, const QString& pageFolder = {});
    ~CodeEditor() override;

    bool isReady() const { return ready_; }
    // The text as last known from the page (or as last set).
    const QString& text() const { return text_; }
    // Puts `text` into the page as a fresh text: nothing to undo, cursor at the start.
    void setText(const QString& text);

    // The editor settings routine: theme, mode ("css", "less", "stylus"), options, font (a
    // family that is not installed becomes the system's monospace font) and read-only state.
    void applySettings(editor::Settings settings, editor::Owner owner, const QString& mode,
                       bool readOnly);
    bool isReadOnly() const { return readOnly_; }

    // Beautifies the text; `undo` gets a step named "Beautify" that puts the text back.
    void beautify(QUndoStack* undo);
    // Selects and centres a range of the text (UTF-16 positions, as QString counts).
    void selectRange(qsizetype location, qsizetype length);
    // Replaces a range of the text, as the find bar's replace does.
    void replaceRange(qsizetype location, qsizetype length, const QString& with);
    void goToLine();
    void focusEditor();
    FindBar* findBar() const { return findBar_; }

    // Sends one statement to the page (lost before the page is ready).
    void run(const QString& statement);
    QWebEngineView* view() const { return view_; }

    // The family the editor can show for `wanted`: itself when installed, else the system's
    // monospace font.
    static QString installedFontFamily(const QString& wanted);

  signals:
    // Once, when the page has loaded and can take statements.
    void ready();
    // After every change that reached text(), from the user or from beautify and replace.
    void textChanged();

  private:
    friend class EditorCallback;
    void pageMessage(const QString& body);
    void fetchText();

    QWebEngineView* view_;
    FindBar* findBar_;
    QString text_;
    bool ready_ = false;
    bool readOnly_ = false;
    bool closing_ = false;
};

}  // namespace orlavine::gui
