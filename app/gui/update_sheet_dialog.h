#pragma once
// The update sheet: every style checked against its source in turn, with a log, a progress bar,
// Cancel (pressed five times: stop waiting) and Done.

#include <QDialog>
#include <memory>

#include "app/gui/main_thread_work.h"
#include "library/update_sheet.h"

class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace orlavine::gui {

class UpdateSheetDialog : public QDialog {
    Q_OBJECT
  public:
    UpdateSheetDialog(UpdateContext context, NotificationCenter& notifications,
                      QWidget* parent = nullptr);

    void start() { run_->start(); }
    QString log() const;
    bool finishedRun() const { return run_->isFinished(); }

  signals:
    void runFinished();

  private:
    BackgroundWork work_{this};
    QPlainTextEdit* log_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    QPushButton* done_;
    std::unique_ptr<UpdateSheetRun> run_;
};

}  // namespace orlavine::gui
