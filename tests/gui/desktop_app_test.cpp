// What the program is asked to open (links and documents), the launch checks, and a second
// launch handing its arguments to the first.

#include <QFileInfo>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <thread>

#include "app/gui/desktop_app.h"
#include "app/gui/import_url_sheet.h"
#include "app/gui/link_handler.h"
#include "app/gui/link_request.h"
#include "app/gui/new_style_sheet.h"
#include "app/gui/single_instance.h"
#include "app/gui/update_sheet_dialog.h"
#include "gui_fixture.h"
#include "model/settings_keys.h"
#include "sync/sync_account.h"

using namespace orlavine;
using namespace orlavine::gui;
using orlavine::testing::GuiFixture;

class DesktopAppTest : public QObject {
    Q_OBJECT
  private slots:
    void parsesLinks_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<int>("kind");
        QTest::addColumn<qlonglong>("number");
        QTest::addColumn<QString>("address");
        using K = LinkRequest::Kind;
        QTest::newRow("open") << "orlavine://openstyle/42" << int(K::openStyle) << 42LL << "";
        QTest::newRow("open, no number") << "orlavine://openstyle/" << int(K::none) << -1LL << "";
        QTest::newRow("install 0") << "orlavine://install/0" << int(K::none) << -1LL << "";
        QTest::newRow("install") << "orlavine://install/123" << int(K::install) << 123LL
                                 << "https://cat.test/styles/chrome/123.json";
        QTest::newRow("install with settings")
            << "orlavine://install/123/ik-color=%23fff&x=a%20b" << int(K::install) << 123LL
            << "https://cat.test/styles/chrome/123.json?ik-color=%23fff&x=a%20b";
        QTest::newRow("usercss") << "orlavine://usercss/https://example.com/a.user.css"
                                 << int(K::userCSS) << -1LL << "https://example.com/a.user.css";
        QTest::newRow("other host") << "orlavine://elsewhere/1" << int(K::none) << -1LL << "";
        QTest::newRow("no address") << "not a link" << int(K::none) << -1LL << "";
    }
    void parsesLinks() {
        QFETCH(QString, link);
        QFETCH(int, kind);
        QFETCH(qlonglong, number);
        QFETCH(QString, address);
        const LinkRequest request = parseLink(link.toStdString(), "cat.test");
        QCOMPARE(int(request.kind), kind);
        if (kind != int(LinkRequest::Kind::none)) {
            QCOMPARE(request.number, number);
            QCOMPARE(QString::fromStdString(request.address), address);
        }
    }

    void handlesLinksAndDocuments() {
        GuiFixture fx({"a"});
        fx.session->store().change([](styleDatabase& db, LibraryChange& changed) {
            db.styles[0].userstyleID = 77;
            changed.touch(db.styles[0].uniqueID);
            return true;
        });
        LinkHandler links(*fx.session, fx.prompter);
        QSignalSpy done(&links, &LinkHandler::done);
        std::vector<std::int64_t> opened;
        fx.session->notifications().addObserver(
            notifications::kOpenStyleNotif, [&](const Notification& n) {
                opened.push_back(std::get<std::int64_t>(n.userInfo.at("id")));
            });

        links.handle("orlavine://openstyle/42");
        links.handle("orlavine://openstyle/");
        QCOMPARE(opened, std::vector<std::int64_t>{42});

        links.handle("orlavine://install/77");
        QCOMPARE(fx.prompter.alerts, QStringList{"Duplicate Style"});

        fx.prompter.alerts.clear();
        links.handle("orlavine://usercss/https://example.com/page.html");
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 4, 5000);
        QCOMPARE(fx.prompter.alerts, QStringList{"Unsupported URL"});

        // A database file answered "No" adds nothing.
        const auto other = fx.home.data() / "other.sdb";
        QVERIFY(fx.session->store().backUp(other).ok());
        links.handle(QString::fromStdString(other.string()));
        QCOMPARE(fx.prompter.questions.size(), 1);
        QVERIFY(fx.prompter.questions[0].startsWith(
            "Do you want to import the styles from the Style Database file at "));
        QCOMPARE(done.size(), 5);
        QCOMPARE(fx.names().size(), 1u);
    }

    void sheetsAddStyles() {
        GuiFixture fx;
        StyleListController list(*fx.session, fx.prompter);
        NewStyleSheet sheet(fx.services());
        QVERIFY(!sheet.create());
        sheet.nameField().setText("  Wide pages ");
        sheet.ruleField().setText("example.org");
        const auto id = sheet.create();
        QVERIFY(id);
        const auto style = fx.session->store().styleByID(*id);
        QCOMPARE(style->styleData.name, std::string("Wide pages"));
        QCOMPARE(style->styleData.sections.at(0).domains, std::vector<std::string>{"example.org"});
        // The new style is open for its editor window, which releases it when it closes.
        QTRY_COMPARE_WITH_TIMEOUT(list.model().rowCount(), 1, 5000);
        QCOMPARE(list.openStyleIDs(), std::set<std::int64_t>{*id});

        ImportURLSheet importSheet(fx.services());
        QSignalSpy finished(&importSheet, &ImportURLSheet::finished);
        importSheet.addressField().setText("https://example.com/page.html");
        importSheet.startImport();
        QVERIFY(finished.wait(10000));
        QCOMPARE(fx.reporter.alerts().back(), std::string("Unsupported URL"));
        QCOMPARE(fx.names().size(), 1u);

        // Only custom styles: the update run has nothing to check.
        UpdateContext context;
        context.store = &fx.session->store();
        UpdateSheetDialog update(context, fx.session->notifications());
        QSignalSpy ended(&update, &UpdateSheetDialog::runFinished);
        update.start();
        QVERIFY(ended.wait(10000));
        QVERIFY(update.log().contains(kNoStylesNeedUpdates));
    }

    void windowKeepsItsFrame() {
        GuiFixture fx;
        StyleListController list(*fx.session, fx.prompter);
        {
            MainWindow window(*fx.session, list);
            window.resize(700, 480);
            window.close();
        }
        MainWindow again(*fx.session, list);
        QCOMPARE(again.size(), QSize(700, 480));
    }

    void windowComesBeforeTheLibrary() {
        GuiFixture fx({"a", "b"});
        Session session(fx.reporter, desktopSessionOptions());
        DesktopApp desktop(session, fx.prompter);
        desktop.start();
        QAction* newStyle = nullptr;
        for (QAction* action : desktop.window().findChildren<QAction*>()) {
            if (action->text() == "New Style…") {
                newStyle = action;
            }
        }
        QVERIFY(newStyle != nullptr);
        // Until the rows show the library, nothing can change it.
        QVERIFY(!desktop.list().isLoaded());
        QVERIFY(!newStyle->isEnabled());
        desktop.list().setAllEnabled(false);
        QCOMPARE(fx.prompter.beeps, 1);
        QSignalSpy loaded(&desktop.list(), &StyleListController::loaded);
        QVERIFY(loaded.wait(10000));
        QCOMPARE(desktop.list().model().rowCount(), 2);
        QVERIFY(newStyle->isEnabled());
        QVERIFY(session.store().mostlyEnabled());
        QCOMPARE(fx.names(), (std::vector<std::string>{"a", "b"}));
    }

    void firstLaunchWelcomesWithoutWarning() {
        GuiFixture fx;
        DesktopApp app(*fx.session, fx.prompter);
        QVERIFY(fx.session->settings().app.boolValue(keys::kIsFirstLaunch));
        app.runLaunchChecks();
        QVERIFY(app.browserSetup() != nullptr);
        QVERIFY(fx.prompter.questions.isEmpty());
        QVERIFY(!fx.session->settings().app.boolValue(keys::kIsFirstLaunch));

        // The next launch, with no browser connected, warns once.
        DesktopApp next(*fx.session, fx.prompter);
        next.runLaunchChecks();
        next.runLaunchChecks();
        QCOMPARE(fx.prompter.questions, QStringList{"Extension Not Enabled"});
    }

    void launchSyncsWithAFolderAccount() {
        GuiFixture fx({"a"});
        const auto folder = fx.home.data() / "account";
        std::filesystem::create_directories(folder);
        SettingsStore& app = fx.session->settings().app;
        app.set(sync::kSyncServerKey, boost::json::value(folder.string()));
        app.set(keys::kIsFirstLaunch, false);
        app.set(keys::kWarnIfDisabled, false);
        // Never configured: the first check switches sync on and sends the library.
        DesktopApp desktop(*fx.session, fx.prompter);
        // The window's rows come from a background read.
        QTRY_VERIFY_WITH_TIMEOUT(desktop.list().isLoaded(), 5000);
        QCOMPARE(desktop.list().model().rowCount(), 1);
        QSignalSpy ended(&desktop.cloud(), &CloudSync::firstSyncEnded);
        desktop.runLaunchChecks();
        QVERIFY(ended.wait(30000));
        QVERIFY(app.boolValue(keys::kUseCloud));
        QVERIFY(app.boolValue(keys::kHasConfiguredCloud));
        QVERIFY(!std::filesystem::is_empty(folder));
        QTRY_VERIFY_WITH_TIMEOUT(!desktop.list().locked(), 5000);

        // A configured account that cannot be opened switches sync off and unlocks the list.
        std::filesystem::remove_all(folder);
        app.set(sync::kSyncServerKey, boost::json::value(""));
        DesktopApp next(*fx.session, fx.prompter);
        next.start();
        QTRY_VERIFY_WITH_TIMEOUT(next.list().locked(), 5000);
        QSignalSpy nextEnded(&next.cloud(), &CloudSync::firstSyncEnded);
        next.runLaunchChecks();
        QVERIFY(nextEnded.wait(30000));
        QVERIFY(!app.boolValue(keys::kUseCloud));
        QTRY_VERIFY_WITH_TIMEOUT(!next.list().locked(), 5000);
    }

    void instanceSocketIsRobust() {
        GuiFixture fx;
        const QString path = SingleInstance::socketPath();
        // Nobody listens: nothing is handed over.
        QVERIFY(!SingleInstance::handOver({"x"}, path));
        // A socket file left by a program that died is replaced.
        {
            QLocalServer stale;
            QVERIFY(stale.listen(path));
        }
        QFile(path).open(QIODevice::WriteOnly);
        SingleInstance first;
        QVERIFY(first.listen(path));
        QCOMPARE(QFileInfo(path).permissions() &
                     (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());
        QSignalSpy received(&first, &SingleInstance::received);

        // A peer that sends no line and goes away hands nothing over.
        QLocalSocket garbage;
        garbage.connectToServer(path);
        QVERIFY(garbage.waitForConnected(5000));
        garbage.write("not a line");
        garbage.waitForBytesWritten(5000);
        garbage.disconnectFromServer();

        // Handing over blocks this thread, so it runs on another one.
        std::atomic<bool> taken = false;
        std::thread second([&] { taken = SingleInstance::handOver({"a.css", "b.sdb"}, path); });
        QVERIFY(received.wait(10000));
        second.join();
        QVERIFY(taken);
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.at(0).at(0).toStringList(), (QStringList{"a.css", "b.sdb"}));
    }

    void secondLaunchHandsItsLinkToTheFirst() {
        GuiFixture fx;
        SingleInstance first;
        const QString socket = SingleInstance::socketPath();
        QVERIFY(socket.startsWith(QString::fromStdString((fx.home.data() / "run").string())));
        QVERIFY(first.listen(socket));
        QSignalSpy received(&first, &SingleInstance::received);

        QProcess second;
        second.setProcessChannelMode(QProcess::ForwardedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        second.setProcessEnvironment(env);
        second.start(ORLAVINE_PROGRAM, {"orlavine://openstyle/42"});
        QVERIFY(received.wait(60000));
        QCOMPARE(received.at(0).at(0).toStringList(), QStringList{"orlavine://openstyle/42"});
        QVERIFY(second.waitForFinished(60000));
        QCOMPARE(second.exitCode(), 0);
    }
};

QTEST_MAIN(DesktopAppTest)
#include "desktop_app_test.moc"
