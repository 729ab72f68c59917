// The preferences window on the offscreen platform: controls write their keys at once, the
// gutter rule, the theme and font menus, sync pushes, and the library's reset and export.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include "app/code_editor/editor_page_profile.h"
#include "app/gui/preferences_window.h"
#include "gui_fixture.h"
#include "library/preference_menus.h"
#include "model/settings_keys.h"
#include "sync/sync_account.h"

#include <boost/json/string.hpp>

using namespace orlavine;
using gui::PreferencesWindow;

class PreferencesTest : public QObject {
    Q_OBJECT

  private slots:
    void controlsWriteTheirKeysAndSyncedOnesArePushed() {
        testing::GuiFixture f;
        int pushes = 0;
        PreferencesWindow::Hooks hooks;
        hooks.pushPreferences = [&pushes] { ++pushes; };
        PreferencesWindow w(*f.session, f.prompter, hooks);
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        SettingsStore& app = f.session->settings().app;

        QCheckBox* gutter = w.check(keys::kEditorShowGutter);
        QCheckBox* errors = w.check(keys::kEditorShowErrors);
        const bool errorsBefore = app.boolValue(keys::kEditorShowErrors);
        gutter->setChecked(false);
        QVERIFY(!app.boolValue(keys::kEditorShowGutter));
        QVERIFY(!errors->isEnabled());
        QCOMPARE(app.boolValue(keys::kEditorShowErrors), errorsBefore);  // kept

        // Item 8 of the theme menu is "dark".
        w.themeMenu().setCurrentIndex(8);
        emit w.themeMenu().activated(8);
        QCOMPARE(app.stringValue(keys::kEditorTheme), std::string("dark"));

        // Without sync nothing is pushed; with it, each synced key is.
        QCOMPARE(pushes, 0);
        app.set(keys::kUseCloud, true);
        w.check(keys::kWarnReadOnly)->toggle();
        QTRY_COMPARE_WITH_TIMEOUT(pushes, 1, 5000);

        // The shared store's key goes there.
        w.check(keys::kInjectIframes)->setChecked(!w.check(keys::kInjectIframes)->isChecked());
        QCOMPARE(f.session->settings().shared.boolValue(keys::kInjectIframes),
                 w.check(keys::kInjectIframes)->isChecked());

        // A stored family that is not installed is said so, and never offered.
        app.set(keys::kEditorFont, boost::json::string("Menlo"));
        w.reload();
        QVERIFY(w.fontMenu().findText("Menlo") < 0);
        QVERIFY(w.fontNote().text().contains("\"Menlo\" is not installed"));
    }

    void resetWaitsForOpenEditorsAndAsksFirst() {
        testing::GuiFixture f({"One", "Two"});
        std::vector<std::int64_t> open = {1};
        PreferencesWindow::Hooks hooks;
        hooks.openStyleIDs = [&open] { return open; };
        PreferencesWindow w(*f.session, f.prompter, hooks);
        w.setAttribute(Qt::WA_DeleteOnClose, false);

        w.resetDatabase();
        QCOMPARE(f.prompter.alerts.last(), QString::fromLatin1(kCannotResetTitle));
        QCOMPARE(f.names().size(), 2u);
        open.clear();
        f.prompter.choices = {0};  // No
        w.resetDatabase();
        QCOMPARE(f.names().size(), 2u);
        f.prompter.choices = {1};  // Yes
        w.resetDatabase();
        QVERIFY(f.names().empty());

        testing::TempDir out;
        f.prompter.savePath = QString::fromStdString((out.path() / "styles.sdb").string());
        w.exportDatabase();
        QCOMPARE(f.prompter.panels.last(),
                 QStringLiteral("Export Orlavine Database: Orlavine Styles.sdb"));
        QVERIFY(std::filesystem::exists(out.path() / "styles.sdb"));
    }

    // Setting a folder account up from the sync box, the box following whether the account
    // answers, and signing out.
    void syncAccountFromTheWindow() {
        testing::GuiFixture f({"One"});
        std::vector<std::pair<bool, bool>> switched;
        PreferencesWindow::Hooks hooks;
        hooks.switchSync = [&switched](bool on, bool fresh) { switched.emplace_back(on, fresh); };
        PreferencesWindow w(*f.session, f.prompter, hooks);
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        w.show();
        SettingsStore& app = f.session->settings().app;
        QCheckBox* box = w.check(keys::kUseCloud);

        // No account yet: ticking the box opens the account dialog and leaves sync off.
        QVERIFY(box->isEnabled());
        box->setChecked(true);
        QVERIFY(!box->isChecked());
        QVERIFY(!app.boolValue(keys::kUseCloud));
        gui::SyncAccountDialog* dialog = w.accountDialog();
        QVERIFY(dialog != nullptr);

        // A folder that does not exist is refused in plain words, and nothing is kept.
        const std::filesystem::path folder = f.home.data() / "Synced";
        dialog->folderChoice().setChecked(true);
        dialog->folderPath().setText(QString::fromStdString(folder.string()));
        dialog->useAccount();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->testing(), 10000);
        QCOMPARE(dialog->status().text(),
                 QString::fromStdString("There is no folder " + folder.string() + "."));
        QVERIFY(dialog->isVisible());
        QVERIFY(app.stringValue(sync::kSyncServerKey).empty());

        // One that exists is taken: sync goes on for the new account.
        std::filesystem::create_directories(folder);
        dialog->useAccount();
        QTRY_VERIFY_WITH_TIMEOUT(w.accountDialog() == nullptr, 10000);
        QCOMPARE(app.stringValue(sync::kSyncServerKey), folder.string());
        QVERIFY(app.boolValue(keys::kUseCloud));
        QVERIFY(box->isChecked() && box->isEnabled());
        QCOMPARE(switched, (std::vector<std::pair<bool, bool>>{{true, true}}));
        QCOMPARE(w.accountButton().text(), QStringLiteral("Sign Out"));

        // An account that no longer answers disables the box and switches sync off.
        std::filesystem::remove_all(folder);
        w.checkAccount();
        QTRY_VERIFY_WITH_TIMEOUT(!w.checkingAccount(), 10000);
        QVERIFY2(!box->isEnabled(), qPrintable(w.accountStatus().text()));
        QVERIFY(!box->isChecked());
        QVERIFY(!app.boolValue(keys::kUseCloud));
        QVERIFY(w.accountStatus().text().contains("is not a folder"));

        // Signing out asks first, then forgets the account; the box sets one up again.
        f.prompter.answers = {false};
        w.accountButton().click();
        QCOMPARE(app.stringValue(sync::kSyncServerKey), folder.string());
        f.prompter.answers = {true};
        w.accountButton().click();
        QTRY_VERIFY_WITH_TIMEOUT(app.stringValue(sync::kSyncServerKey).empty(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(w.accountStatus().text(),
                                  QStringLiteral("No sync account is set up."), 10000);
        QVERIFY(box->isEnabled());
    }
};

int main(int argc, char** argv) {
    gui::registerEditorPageScheme();
    QApplication app(argc, argv);
    gui::editorPageProfile(QStringLiteral(ORLAVINE_EDITOR_PAGE));
    PreferencesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "preferences_test.moc"
