#pragma once
// The desktop program's reporter: console lines go to standard error, alerts are queued on the
// main thread and shown through the prompter.

#include <QObject>

#include "app/gui/prompter.h"
#include "model/reporter.h"

namespace orlavine::gui {

class GuiReporter : public Reporter {
  public:
    // `context` lives on the main thread at least as long as alerts may be shown.
    GuiReporter(Prompter& prompter, QObject* context) : prompter_(prompter), context_(context) {}
    void consoleLine(std::string_view line) override { console_.consoleLine(line); }
    void showAlert(std::string_view message, std::string_view informative) override;

  private:
    Prompter& prompter_;
    QObject* context_;
    StderrReporter console_;
};

}  // namespace orlavine::gui
