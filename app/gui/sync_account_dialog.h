#pragma once
// Setting the sync account up from the window: a WebDAV server (address, user name, password) or
// a folder kept in step by other means. The account is tested off the main thread before the
// dialog accepts it; what failed is said in the dialog and nothing is kept.

#include <QDialog>
#include <memory>

#include "app/gui/main_thread_work.h"
#include "model/settings_store.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace orlavine::sync {
class AccountSetup;
}

namespace orlavine::gui {

class Prompter;

class SyncAccountDialog : public QDialog {
    Q_OBJECT
  public:
    SyncAccountDialog(SettingsStores& settings, Prompter& prompter, QWidget* parent = nullptr);
    // Ends the test in flight (within a second) before going.
    ~SyncAccountDialog() override;

    QRadioButton& webdavChoice() { return *webdav_; }
    QRadioButton& folderChoice() { return *folder_; }
    QLineEdit& address() { return *address_; }
    QLineEdit& user() { return *user_; }
    QLineEdit& password() { return *password_; }
    QLineEdit& folderPath() { return *folderPath_; }
    QLabel& status() { return *status_; }
    QPushButton& useButton() { return *use_; }
    // Whether a test of the account is running.
    bool testing() const { return setup_ != nullptr; }

    // The "Use This Account" button: tests the account and accepts the dialog when it answers.
    void useAccount();
    void reject() override;

  signals:
    // A test ended (the dialog is accepted first when it succeeded).
    void testEnded();

  private:
    void showKind();
    void setBusy(bool busy);

    SettingsStores& settings_;
    Prompter& prompter_;
    QRadioButton* webdav_ = nullptr;
    QRadioButton* folder_ = nullptr;
    QLineEdit* address_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* folderPath_ = nullptr;
    QPushButton* chooseFolder_ = nullptr;
    QWidget* webdavFields_ = nullptr;
    QWidget* folderFields_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* use_ = nullptr;
    std::shared_ptr<sync::AccountSetup> setup_;
    BackgroundWork work_{this};
};

}  // namespace orlavine::gui
