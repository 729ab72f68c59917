#include "app/gui/preferences_window.h"

#include "app/gui/notice_values.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <boost/json/string.hpp>
#include <boost/json/value.hpp>

#include "app/gui/sync_account_dialog.h"
#include "editor/editor_settings.h"
#include "library/library_reset.h"
#include "library/preference_menus.h"
#include "model/settings_keys.h"
#include "sync/account_setup.h"
#include "sync/sync_account.h"

namespace orlavine::gui {
namespace {

// The theme menu: 15 items, separators where the index table repeats a value.
const std::vector<std::pair<int, const char*>>& themeTitles() {
    static const std::vector<std::pair<int, const char*>> titles = {
        {0, "Light"},  {2, "Blue"}, {3, "Tomorrow"}, {4, "Solarized Light"}, {5, "iPlastic"},
        {6, "Chrome"}, {8, "Dark"}, {10, "Black"},   {11, "Monokai"},        {12, "Solarized Dark"},
        {13, "Green"}, {14, "Nord"}};
    return titles;
}

boost::json::value text(const std::string& s) {
    return boost::json::string(s);
}

bool isSynced(std::string_view key) {
    return std::any_of(keys::kCloudPreferences.begin(), keys::kCloudPreferences.end(),
                       [key](const keys::CloudPreference& p) { return p.key == key; });
}

}  // namespace

PreferencesWindow::PreferencesWindow(Session& session, Prompter& prompter, Hooks hooks,
                                     QWidget* parent)
    : QTabWidget(parent),
      session_(session),
      prompter_(prompter),
      hooks_(std::move(hooks)),
      bridge_(session.notifications(),
              {notifications::kPrefsChangedRemotely, notifications::kSettingsChanged}) {
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Preferences"));
    addTab(generalPane(), tr("General"));
    addTab(editorPane(), tr("Editor"));
    addTab(advancedPane(), tr("Advanced"));
    connect(&bridge_, &NoticeBridge::notice, this, [this] {
        reload();
        applyPreview();
    });
    connect(preview_, &CodeEditor::ready, this, [this] {
        applyPreview();
        preview_->setText(QString::fromLatin1(kPreviewText));
    });
    reload();
    resize(620, 520);
}

PreferencesWindow::~PreferencesWindow() {
    if (accountCheck_) {
        accountCheck_->cancel();
    }
}

void PreferencesWindow::showEvent(QShowEvent* event) {
    QTabWidget::showEvent(event);
    checkAccount();
}

void PreferencesWindow::checkAccount() {
    if (session_.settings().app.stringValue(sync::kSyncServerKey).empty()) {
        accountState_ = AccountState::none;
        showAccount();
        return;
    }
    if (accountCheck_) {
        accountCheck_->cancel();
    }
    auto check = std::make_shared<sync::AccountCheck>(session_.settings());
    accountCheck_ = check;
    accountState_ = AccountState::checking;
    showAccount();
    work_.run([this, check] {
        std::optional<std::string> problem = check->run();
        work_.onMain([this, check, problem] {
            if (accountCheck_ != check) {
                return;  // a later check answers instead
            }
            accountCheck_.reset();
            accountState_ = problem ? AccountState::unavailable : AccountState::available;
            accountProblem_ = fromStd(problem.value_or(""));
            if (problem && session_.settings().app.boolValue(keys::kUseCloud)) {
                session_.settings().app.set(keys::kUseCloud, false);
            }
            reload();
        });
    });
}

void PreferencesWindow::showAccount() {
    const SettingsStore& app = session_.settings().app;
    const std::string server = app.stringValue(sync::kSyncServerKey);
    const std::string user = app.stringValue(sync::kSyncUserKey);
    QCheckBox* box = check(keys::kUseCloud);
    if (server.empty()) {
        box->setEnabled(true);
        box->setToolTip(tr("Sets up the sync account first."));
        account_->setText(tr("No sync account is set up."));
        accountButton_->setText(tr("Set Up Account…"));
        return;
    }
    QString text = user.empty() ? tr("Sync account: %1").arg(fromStd(server))
                                : tr("Sync account: %1 as %2").arg(fromStd(server), fromStd(user));
    switch (accountState_) {
        case AccountState::checking:
            text += QStringLiteral("\n") + tr("Checking the account…");
            break;
        case AccountState::unavailable:
            text +=
                QStringLiteral("\n") + tr("The account cannot be used: %1").arg(accountProblem_);
            break;
        default:
            break;
    }
    account_->setText(text);
    accountButton_->setText(tr("Sign Out"));
    box->setEnabled(accountState_ == AccountState::available);
    box->setToolTip(QString());
}

void PreferencesWindow::openAccountDialog() {
    if (accountDialog_ != nullptr) {
        accountDialog_->raise();
        accountDialog_->activateWindow();
        return;
    }
    accountDialog_ = new SyncAccountDialog(session_.settings(), prompter_, this);
    accountDialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(accountDialog_, &QDialog::accepted, this, [this] {
        accountState_ = AccountState::available;
        session_.settings().app.set(keys::kUseCloud, true);
        reload();
        if (hooks_.switchSync) {
            hooks_.switchSync(true, true);
        }
    });
    accountDialog_->open();
}

void PreferencesWindow::signOut() {
    if (!prompter_.confirm(tr("Sign Out of the Sync Account?"),
                           tr("Sync stops on this computer and the password is removed. The "
                              "styles here and those in the sync account stay as they are."))) {
        return;
    }
    accountButton_->setEnabled(false);
    auto done = [this](const Status& outcome) {
        accountButton_->setEnabled(true);
        if (!outcome) {
            prompter_.alert(tr("Cannot Sign Out"), fromStd(outcome.error()));
        }
        accountState_ = AccountState::none;
        reload();
    };
    if (hooks_.signOut) {
        hooks_.signOut(done);
    } else {
        work_.run([this, done] {
            Status outcome = sync::signOut(session_.settings());
            work_.onMain([done, outcome] { done(outcome); });
        });
    }
}

QCheckBox* PreferencesWindow::addCheck(QWidget* pane, const QString& title, const char* key,
                                       bool shared) {
    auto* box = new QCheckBox(title, pane);
    box->setObjectName(QString::fromLatin1(key));
    connect(box, &QCheckBox::toggled, this, [this, key, shared](bool on) {
        if (loading_) {
            return;
        }
        (shared ? session_.settings().shared : session_.settings().app).set(key, on);
        written(key);
    });
    return box;
}

QCheckBox* PreferencesWindow::check(const char* key) const {
    return findChild<QCheckBox*>(QString::fromLatin1(key));
}

QWidget* PreferencesWindow::generalPane() {
    auto* pane = new QWidget(this);
    auto* form = new QFormLayout(pane);
    author_ = new QLineEdit(pane);
    namespace_ = new QLineEdit(pane);
    form->addRow(tr("Default author:"), author_);
    form->addRow(tr("Default namespace:"), namespace_);
    connect(author_, &QLineEdit::editingFinished, this, [this] {
        session_.settings().app.set(keys::kDefaultAuthor, text(author_->text().toStdString()));
    });
    connect(namespace_, &QLineEdit::editingFinished, this, [this] {
        session_.settings().app.set(keys::kDefaultNamespace,
                                    text(namespace_->text().toStdString()));
    });
    form->addRow(addCheck(pane, tr("Show the welcome touches"), keys::kAwesomeness));
    form->addRow(addCheck(pane, tr("Check for style updates at launch"), keys::kUpdateOnLaunch));
    form->addRow(
        addCheck(pane, tr("Warn when no browser uses the extension"), keys::kWarnIfDisabled));
    form->addRow(addCheck(pane, tr("Warn when opening a read-only style"), keys::kWarnReadOnly));
    form->addRow(addCheck(pane, tr("Alt+Shift+O switches all styles off and on in the browser"),
                          keys::kToggleShortcut, true));
    auto* cloud = new QCheckBox(tr("Sync the library with the sync account"), pane);
    cloud->setObjectName(QString::fromLatin1(keys::kUseCloud));
    connect(cloud, &QCheckBox::toggled, this, [this, cloud](bool on) {
        if (loading_) {
            return;
        }
        if (on && session_.settings().app.stringValue(sync::kSyncServerKey).empty()) {
            // Nothing to sync with yet: set the account up first.
            loading_ = true;
            cloud->setChecked(false);
            loading_ = false;
            openAccountDialog();
            return;
        }
        session_.settings().app.set(keys::kUseCloud, on);
        if (hooks_.switchSync) {
            hooks_.switchSync(on, false);
        }
    });
    form->addRow(cloud);
    auto* accountRow = new QHBoxLayout;
    account_ = new QLabel(pane);
    account_->setWordWrap(true);
    account_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    accountButton_ = new QPushButton(pane);
    connect(accountButton_, &QPushButton::clicked, this, [this] {
        if (session_.settings().app.stringValue(sync::kSyncServerKey).empty()) {
            openAccountDialog();
        } else {
            signOut();
        }
    });
    accountRow->addWidget(account_, 1);
    accountRow->addWidget(accountButton_);
    form->addRow(accountRow);

    auto* buttons = new QHBoxLayout;
    import_ = new QPushButton(tr("Import Style DB"), pane);
    auto* exportButton = new QPushButton(tr("Export Style DB"), pane);
    auto* reset = new QPushButton(tr("Reset Style DB"), pane);
    auto* recover = new QPushButton(tr("Recover Deleted Styles"), pane);
    connect(import_, &QPushButton::clicked, this, &PreferencesWindow::importDatabase);
    connect(exportButton, &QPushButton::clicked, this, &PreferencesWindow::exportDatabase);
    connect(reset, &QPushButton::clicked, this, &PreferencesWindow::resetDatabase);
    connect(recover, &QPushButton::clicked, this, [this] {
        if (hooks_.openRecovery) {
            hooks_.openRecovery();
        } else {
            prompter_.beep();
        }
    });
    for (QPushButton* b : {import_, exportButton, reset, recover}) {
        buttons->addWidget(b);
    }
    form->addRow(buttons);
    return pane;
}

QWidget* PreferencesWindow::editorPane() {
    auto* pane = new QWidget(this);
    auto* layout = new QVBoxLayout(pane);
    auto* form = new QFormLayout;
    theme_ = new QComboBox(pane);
    for (int item = 0; item < 15; ++item) {
        const auto& titles = themeTitles();
        const auto it = std::find_if(titles.begin(), titles.end(),
                                     [item](const auto& t) { return t.first == item; });
        if (it == titles.end()) {
            theme_->insertSeparator(item);
        } else {
            theme_->addItem(tr(it->second));
        }
    }
    font_ = new QComboBox(pane);
    fontNote_ = new QLabel(pane);
    fontNote_->setWordWrap(true);
    fontSize_ = new QSpinBox(pane);
    fontSize_->setRange(6, 72);
    toolbar_ = new QComboBox(pane);
    toolbar_->addItems({tr("Unified"), tr("Compact"), tr("Expanded")});
    form->addRow(tr("Theme:"), theme_);
    form->addRow(tr("Font:"), font_);
    form->addRow(QString(), fontNote_);
    form->addRow(tr("Font size:"), fontSize_);
    form->addRow(tr("Toolbar:"), toolbar_);
    layout->addLayout(form);
    QCheckBox* gutter = addCheck(pane, tr("Show line numbers"), keys::kEditorShowGutter);
    QCheckBox* errors = addCheck(pane, tr("Mark syntax errors"), keys::kEditorShowErrors);
    layout->addWidget(gutter);
    layout->addWidget(errors);
    layout->addWidget(addCheck(pane, tr("Wrap long lines"), keys::kEditorWordWrap));
    layout->addWidget(addCheck(pane, tr("Suggest completions"), keys::kEditorAutocomplete));
    QCheckBox* title =
        addCheck(pane, tr("Show the style's name in the title"), keys::kShowEditorTitle);
    layout->addWidget(title);
    preview_ = new CodeEditor(pane);
    preview_->setMinimumHeight(140);
    layout->addWidget(preview_, 1);

    // The error marks need the gutter; the stored choice is kept while it is hidden.
    connect(gutter, &QCheckBox::toggled, errors, &QWidget::setEnabled);
    connect(theme_, &QComboBox::activated, this, [this](int item) {
        session_.settings().app.set(keys::kEditorTheme,
                                    text(themeForMenuItem(static_cast<std::size_t>(item))));
        written(keys::kEditorTheme);
    });
    connect(font_, &QComboBox::activated, this, [this](int) {
        session_.settings().app.set(keys::kEditorFont, text(font_->currentText().toStdString()));
        fontNote_->clear();
        written(keys::kEditorFont);
    });
    connect(fontSize_, &QSpinBox::valueChanged, this, [this](int size) {
        if (!loading_) {
            session_.settings().app.set(keys::kEditorFontSize, std::int64_t{size});
            written(keys::kEditorFontSize);
        }
    });
    connect(toolbar_, &QComboBox::activated, this, [this, title](int item) {
        const std::string style = toolbarForMenuItem(static_cast<std::size_t>(item));
        session_.settings().app.set(keys::kEditorStyle, text(style));
        title->setEnabled(titleBoxEnabled(style));
        written(keys::kEditorStyle);
    });
    return pane;
}

QWidget* PreferencesWindow::advancedPane() {
    auto* pane = new QWidget(this);
    auto* layout = new QVBoxLayout(pane);
    layout->addWidget(addCheck(pane, tr("Apply styles inside frames"), keys::kInjectIframes, true));
    layout->addStretch(1);
    return pane;
}

void PreferencesWindow::reload() {
    loading_ = true;
    const SettingsStore& app = session_.settings().app;
    author_->setText(fromStd(app.stringValue(keys::kDefaultAuthor)));
    namespace_->setText(fromStd(app.stringValue(keys::kDefaultNamespace)));
    for (QCheckBox* box : findChildren<QCheckBox*>()) {
        const std::string key = box->objectName().toStdString();
        const bool shared = key == keys::kToggleShortcut || key == keys::kInjectIframes;
        box->setChecked((shared ? session_.settings().shared : app).boolValue(key));
    }
    check(keys::kEditorShowErrors)->setEnabled(app.boolValue(keys::kEditorShowGutter));
    check(keys::kShowEditorTitle)->setEnabled(titleBoxEnabled(app.stringValue(keys::kEditorStyle)));
    showAccount();

    theme_->setCurrentIndex(static_cast<int>(themeMenuItem(app.stringValue(keys::kEditorTheme))));
    const QString system = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    std::vector<std::string> installed;
    for (const QString& family : QFontDatabase::families()) {
        installed.push_back(family.toStdString());
    }
    font_->clear();
    for (const std::string& family : offeredFonts(installed, system.toStdString())) {
        font_->addItem(fromStd(family));
    }
    const QString stored = fromStd(app.stringValue(keys::kEditorFont));
    const int found = font_->findText(stored);
    font_->setCurrentIndex(found >= 0 ? found : font_->findText(system));
    fontNote_->setText(
        found >= 0 || stored.isEmpty()
            ? QString()
            : tr("\"%1\" is not installed; the editor shows %2.").arg(stored, system));
    fontSize_->setValue(static_cast<int>(app.intValue(keys::kEditorFontSize)));
    toolbar_->setCurrentIndex(
        static_cast<int>(toolbarMenuItem(app.stringValue(keys::kEditorStyle))));
    loading_ = false;
}

void PreferencesWindow::written(const char* key) {
    applyPreview();
    if (isSynced(key) && session_.settings().app.boolValue(keys::kUseCloud) &&
        hooks_.pushPreferences) {
        work_.run(hooks_.pushPreferences);  // a request to the account: off the main thread
    }
}

void PreferencesWindow::applyPreview() {
    if (preview_->isReady()) {
        preview_->applySettings(editor::settingsFrom(session_.settings().app),
                                editor::Owner::preferencePreview, QStringLiteral("css"), true);
    }
}

void PreferencesWindow::importDatabase() {
    const QString path = prompter_.openFile(kImportDatabaseTitle, {QStringLiteral("sdb")});
    if (path.isEmpty()) {
        return;
    }
    import_->setText(tr("Importing..."));
    import_->setEnabled(false);
    StyleStore* store = &session_.store();
    NotificationCenter* notifications = &session_.notifications();
    const std::string file = path.toStdString();
    work_.run([this, store, notifications, file] {
        store->mergeFromFile(file);  // a file that cannot be read is told by the store
        work_.onMain([this, notifications] {
            notifications->post(notifications::kRefreshTable);
            import_->setText(tr("Import Style DB"));
            import_->setEnabled(true);
        });
    });
}

void PreferencesWindow::exportDatabase() {
    const QString path =
        prompter_.saveFile(kExportDatabaseTitle, kExportDatabaseName, {QStringLiteral("sdb")});
    if (!path.isEmpty()) {
        session_.store().backUp(path.toStdString());  // a failed write is told by the store
    }
}

void PreferencesWindow::resetDatabase() {
    const std::vector<std::int64_t> open =
        hooks_.openStyleIDs ? hooks_.openStyleIDs() : std::vector<std::int64_t>{};
    if (!open.empty()) {
        prompter_.alert(kCannotResetTitle, kCannotResetText);
        return;
    }
    const Prompter::Choice choice = prompter_.choose(kResetWarningTitle, kResetWarningText,
                                                     {QStringLiteral("No"), QStringLiteral("Yes")});
    if (choice.button != 1) {
        return;
    }
    const Result<ResetOutcome> reset = resetLibrary(session_.store(), open);
    if (reset && *reset == ResetOutcome::reset) {
        session_.notifications().post(notifications::kRefreshTable);
    }
}

}  // namespace orlavine::gui
