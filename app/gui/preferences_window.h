#pragma once
// The preferences window: General (defaults for new styles, warnings, the browser shortcut,
// sync, and the library's import, export, reset and recovery), Editor (theme, font, size and
// options, with a read-only preview) and Advanced (frames). Every control writes its key at
// once; synced keys are pushed to the cloud library when sync is on.

#include <QPointer>
#include <QTabWidget>
#include <functional>
#include <memory>

#include "app/code_editor/code_editor.h"
#include "app/gui/main_thread_work.h"
#include "app/gui/notice_bridge.h"
#include "app/gui/prompter.h"
#include "app/gui/sync_account_dialog.h"
#include "session/session.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace orlavine::sync {
class AccountCheck;
}

namespace orlavine::gui {

inline constexpr const char* kPreviewText =
    "/* A nice example. */ \n\n.exampleElement\n{\n\tcolor: rgb(69, 42, 0) !important;\n}\n/* "
    "This comment would force you to scroll to see the whole thing, if not for word wrap. */";

class PreferencesWindow : public QTabWidget {
    Q_OBJECT
  public:
    struct Hooks {
        // The styles open in editor windows (a reset waits until none is).
        std::function<std::vector<std::int64_t>()> openStyleIDs;
        // Pushes the synced preferences (called off the main thread); none when sync is not
        // running in this program.
        std::function<void()> pushPreferences;
        // Opens the recovery window; none when there is nothing to recover from.
        std::function<void()> openRecovery;
        // Switches sync on or off in this program; `newAccount` when the account was just set
        // up.
        std::function<void(bool on, bool newAccount)> switchSync;
        // Signs out of the sync account in this program; `done` gets the outcome on the main
        // thread. None signs out here, without a sync running.
        std::function<void(std::function<void(Status)> done)> signOut;
    };

    PreferencesWindow(Session& session, Prompter& prompter, Hooks hooks, QWidget* parent = nullptr);
    // Ends the account check in flight (within a second).
    ~PreferencesWindow() override;

    // Reads every control again from the settings.
    void reload();
    // Asks off the main thread whether the sync account answers; the sync box follows.
    void checkAccount();
    // The account dialog, open from the sync box or the account button; none when closed.
    SyncAccountDialog* accountDialog() const { return accountDialog_.data(); }
    QPushButton& accountButton() { return *accountButton_; }
    QLabel& accountStatus() { return *account_; }
    // Whether an account check is running.
    bool checkingAccount() const { return accountCheck_ != nullptr; }
    CodeEditor& preview() { return *preview_; }
    QCheckBox* check(const char* key) const;
    QComboBox& themeMenu() { return *theme_; }
    QComboBox& fontMenu() { return *font_; }
    QLabel& fontNote() { return *fontNote_; }

    void openAccountDialog();
    void signOut();
    void importDatabase();
    void exportDatabase();
    void resetDatabase();

  private:
    QWidget* generalPane();
    QWidget* editorPane();
    QWidget* advancedPane();
    QCheckBox* addCheck(QWidget* pane, const QString& title, const char* key, bool shared = false);
    void written(const char* key);
    void applyPreview();
    void showAccount();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    Session& session_;
    Prompter& prompter_;
    Hooks hooks_;
    QLineEdit* author_ = nullptr;
    QLineEdit* namespace_ = nullptr;
    QComboBox* theme_ = nullptr;
    QComboBox* font_ = nullptr;
    QLabel* fontNote_ = nullptr;
    QSpinBox* fontSize_ = nullptr;
    QComboBox* toolbar_ = nullptr;
    QPushButton* import_ = nullptr;
    CodeEditor* preview_ = nullptr;
    QLabel* account_ = nullptr;
    QPushButton* accountButton_ = nullptr;
    QPointer<SyncAccountDialog> accountDialog_;
    enum class AccountState { none, checking, available, unavailable };
    AccountState accountState_ = AccountState::none;
    QString accountProblem_;
    std::shared_ptr<sync::AccountCheck> accountCheck_;
    NoticeBridge bridge_;
    bool loading_ = false;
    BackgroundWork work_{this};
};

}  // namespace orlavine::gui
