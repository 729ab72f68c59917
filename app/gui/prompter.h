#pragma once
// Every question and alert the windows put to the user goes through one Prompter, so that tests
// can answer them without a modal loop.

#include <QColor>
#include <QString>
#include <QStringList>

class QWidget;

namespace orlavine::gui {

class Prompter {
  public:
    virtual ~Prompter() = default;
    // A warning with one "OK" button.
    virtual void alert(const QString& message, const QString& informative) = 0;
    // An informational question with the buttons "Yes" (first) and "No"; true for "Yes".
    virtual bool confirm(const QString& message, const QString& informative) = 0;
    // A refusal that needs no words.
    virtual void beep() = 0;

    struct Choice {
        int button = 0;           // the index of the button chosen
        bool suppressed = false;  // the "Do not show this message again" box was ticked
    };
    // A warning with the given buttons (the first is the default) and a suppression box.
    virtual Choice choose(const QString& message, const QString& informative,
                          const QStringList& buttons) = 0;
    // A save panel titled `title` proposing `proposedName`, for files ending in one of
    // `suffixes` ("css", "user.css"); the chosen path, or empty when the user cancels.
    virtual QString saveFile(const QString& title, const QString& proposedName,
                             const QStringList& suffixes) = 0;
    // An open panel for one file ending in one of `suffixes`; empty when the user cancels.
    virtual QString openFile(const QString& title, const QStringList& suffixes) = 0;
    // A panel choosing a folder; empty when the user cancels.
    virtual QString chooseFolder(const QString& title) = 0;
    // A colour panel with an alpha channel starting at `initial`; an invalid colour when the user
    // cancels.
    virtual QColor chooseColour(const QColor& initial, const QString& title) = 0;
};

// Modal message boxes over `parent` (which may change as windows come and go).
class DialogPrompter : public Prompter {
  public:
    void setParent(QWidget* parent) { parent_ = parent; }
    void alert(const QString& message, const QString& informative) override;
    bool confirm(const QString& message, const QString& informative) override;
    void beep() override;
    Choice choose(const QString& message, const QString& informative,
                  const QStringList& buttons) override;
    QString saveFile(const QString& title, const QString& proposedName,
                     const QStringList& suffixes) override;
    QString openFile(const QString& title, const QStringList& suffixes) override;
    QString chooseFolder(const QString& title) override;
    QColor chooseColour(const QColor& initial, const QString& title) override;

  private:
    QWidget* parent_ = nullptr;
};

}  // namespace orlavine::gui
