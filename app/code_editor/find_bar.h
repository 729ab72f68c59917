#pragma once
// The editor's find bar: Ctrl+F finds, Ctrl+H finds and replaces, F3 and Shift+F3 go to the next
// and previous match, Escape closes. It searches the editor's text copy and shows each match as
// the editor's selection.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace orlavine::gui {

class CodeEditor;

class FindBar : public QWidget {
    Q_OBJECT

  public:
    explicit FindBar(CodeEditor* editor);

    void showFind();
    void showReplace();
    void findNext();
    void findPrevious();
    void replaceCurrent();
    int replaceAll();
    // Called when the editor's text changed: the current match is looked for again.
    void textChanged();
    void setReplaceAllowed(bool allowed);

    QLineEdit* findField() const { return find_; }
    QLineEdit* replaceField() const { return replace_; }
    // Where the current match is, or -1.
    qsizetype matchStart() const { return matchStart_; }

  private:
    void select(qsizetype at);
    void find(bool forward);

    CodeEditor* editor_;
    QLineEdit* find_;
    QLineEdit* replace_;
    QPushButton* replaceButton_;
    QPushButton* replaceAllButton_;
    QLabel* status_;
    qsizetype matchStart_ = -1;
    bool replaceAllowed_ = true;
};

}  // namespace orlavine::gui
