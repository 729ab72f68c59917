#pragma once
// The import-from-address sheet: an address field and an Import button; the import runs in the
// background while the sheet waits, and the sheet closes once a style was added.

#include <QDialog>
#include <memory>

#include "app/gui/main_thread_work.h"
#include "library/url_import.h"

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace orlavine::gui {

class ImportURLSheet : public QDialog {
    Q_OBJECT
  public:
    ImportURLSheet(LibraryServices services, QWidget* parent = nullptr);

    QLineEdit& addressField() { return *address_; }
    void startImport();
    bool busy() const;

  signals:
    void finished(const orlavine::URLImportOutcome& outcome);

  private:
    BackgroundWork work_{this};
    std::unique_ptr<URLImportRun> run_;
    QLineEdit* address_;
    QPushButton* import_;
    QProgressBar* spinner_;
};

}  // namespace orlavine::gui
