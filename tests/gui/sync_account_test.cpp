// Setting a WebDAV sync account up from the preferences against a private Apache server, with the
// password kept in a private keyring (gnome-keyring on a session bus of the test's own, so the
// user's keyring is never reached); then the launch's account check through the same account.

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <cstdlib>
#include <filesystem>

#include "app/code_editor/editor_page_profile.h"
#include "app/gui/cloud_sync.h"
#include "app/gui/preferences_window.h"
#include "app/gui/sync_account_dialog.h"
#include "gui_fixture.h"
#include "model/config.h"
#include "model/settings_keys.h"
#include "sync/apache_server.h"
#include "sync/record_files.h"
#include "sync/record_store.h"
#include "sync/secret_store.h"
#include "sync/sync_account.h"

using namespace orlavine;

namespace {

constexpr const char* kInsideVariable = "ORLAVINE_PRIVATE_KEYRING";

bool onServer(const sync::testing::ApacheServer& apache, const char* record) {
    return std::filesystem::exists(apache.davFolder() / CloudContainerIdentifier /
                                   sync::recordFileName(record));
}

}  // namespace

class SyncAccountTest : public QObject {
    Q_OBJECT

  private slots:
    void webdavAccountFromTheWindowThenAtLaunch() {
        if (std::optional<std::string> missing = sync::testing::ApacheServer::unavailable()) {
            QSKIP(missing->c_str());
        }
        sync::testing::ApacheServer apache("ann", "right horse");
        QVERIFY2(apache.failure().empty(), apache.failure().c_str());
        testing::GuiFixture f({"One", "Two"});
        SettingsStore& app = f.session->settings().app;
        app.set(keys::kHasConfiguredCloud, true);
        const std::string server = apache.baseURL();
        {
            gui::CloudSync cloud(*f.session);
            gui::PreferencesWindow::Hooks hooks;
            hooks.switchSync = [&cloud](bool on, bool fresh) {
                if (on) {
                    cloud.switchOn(fresh);
                }
            };
            hooks.signOut = [&cloud](std::function<void(Status)> done) {
                cloud.signOut(std::move(done));
            };
            gui::PreferencesWindow w(*f.session, f.prompter, hooks);
            w.setAttribute(Qt::WA_DeleteOnClose, false);
            w.show();
            w.accountButton().click();
            gui::SyncAccountDialog* dialog = w.accountDialog();
            QVERIFY(dialog != nullptr);
            dialog->address().setText(QString::fromStdString(server));
            dialog->user().setText(QStringLiteral("ann"));

            // A wrong password is refused in plain words; nothing is kept anywhere.
            dialog->password().setText(QStringLiteral("wrong horse"));
            dialog->useAccount();
            QTRY_VERIFY_WITH_TIMEOUT(!dialog->testing(), 30000);
            QCOMPARE(dialog->status().text(),
                     QStringLiteral("The server refused the user name or password."));
            QVERIFY(app.stringValue(sync::kSyncServerKey).empty());
            QVERIFY(!sync::lookupPassword(server, "ann"));
            QVERIFY(!app.boolValue(keys::kUseCloud));

            // The right one is kept in the keyring only, and the library goes to the server.
            QSignalSpy synced(&cloud, &gui::CloudSync::firstSyncEnded);
            dialog->password().setText(QStringLiteral("right horse"));
            dialog->useAccount();
            QTRY_VERIFY_WITH_TIMEOUT(w.accountDialog() == nullptr, 30000);
            QCOMPARE(app.stringValue(sync::kSyncServerKey), server);
            QCOMPARE(*sync::lookupPassword(server, "ann"), std::string("right horse"));
            QVERIFY(app.boolValue(keys::kUseCloud));
            QVERIFY(w.check(keys::kUseCloud)->isChecked());
            QTRY_VERIFY_WITH_TIMEOUT(!synced.isEmpty(), 30000);
            QVERIFY(onServer(apache, sync::kDatabaseRecord));
            QVERIFY(cloud.firstSyncStarted());
            for (const auto& entry : std::filesystem::recursive_directory_iterator(
                     f.home.config(), std::filesystem::directory_options::skip_permission_denied)) {
                if (entry.is_regular_file()) {
                    QVERIFY(testing::readText(entry.path()).find("right horse") ==
                            std::string::npos);
                }
            }
        }

        // At the next start the account is opened with the kept password and synced.
        std::filesystem::remove(apache.davFolder() / CloudContainerIdentifier /
                                sync::recordFileName(sync::kPreferencesRecord));
        {
            gui::CloudSync cloud(*f.session);
            QSignalSpy ended(&cloud, &gui::CloudSync::firstSyncEnded);
            cloud.checkAccount();
            QVERIFY(ended.wait(30000));
            QVERIFY(app.boolValue(keys::kUseCloud));
            QVERIFY(onServer(apache, sync::kPreferencesRecord));

            // Signing out forgets the account and its password.
            bool done = false;
            cloud.signOut([&done](Status outcome) { done = static_cast<bool>(outcome); });
            QTRY_VERIFY_WITH_TIMEOUT(done, 30000);
            QVERIFY(!app.boolValue(keys::kUseCloud));
            QVERIFY(app.stringValue(sync::kSyncServerKey).empty());
            QVERIFY(!sync::lookupPassword(server, "ann"));
        }
    }
};

int main(int argc, char** argv) {
    if (std::getenv(kInsideVariable) == nullptr) {
        if (std::system("command -v dbus-run-session >/dev/null 2>&1 && command -v "
                        "gnome-keyring-daemon >/dev/null 2>&1") != 0) {
            std::fprintf(stderr, "SKIP: dbus-run-session or gnome-keyring-daemon is missing\n");
            return 0;
        }
        // Runs this program again inside a private session bus with an unlocked keyring.
        testing::TempDir home;
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        const std::string h = home.path().string();
        const std::string script = "export HOME='" + h + "' XDG_DATA_HOME='" + h +
                                   "/data' XDG_RUNTIME_DIR='" + h + "' " + kInsideVariable +
                                   "=1; echo -n test | gnome-keyring-daemon --unlock "
                                   "--components=secrets >/dev/null 2>&1 || exit 77; exec '" +
                                   self + "'";
        const int status = std::system(("dbus-run-session -- sh -c \"" + script + "\"").c_str());
        if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
            std::fprintf(stderr, "SKIP: gnome-keyring-daemon could not start\n");
            return 0;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    }
    gui::registerEditorPageScheme();
    QApplication app(argc, argv);
    gui::editorPageProfile(QStringLiteral(ORLAVINE_EDITOR_PAGE));
    SyncAccountTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "sync_account_test.moc"
