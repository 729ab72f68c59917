// The style list's update buttons and its update of every row, against a loopback HTTPS server
// whose answers the test holds back while it looks at the rows being checked.

#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <condition_variable>
#include <map>
#include <mutex>

#include "app/gui/main_window.h"
#include "app/gui/style_list_controller.h"
#include "app/gui/style_row_delegate.h"
#include "gui_fixture.h"
#include "library/url_import.h"
#include "model/config.h"
#include "support/loopback_https.h"

using namespace orlavine;
using namespace orlavine::gui;
using orlavine::testing::GuiFixture;
using orlavine::testing::LoopbackHttpsServer;

namespace {

std::string userCSS(const std::string& name, const std::string& version, const std::string& color) {
    return "/* ==UserStyle==\n@name " + name + "\n@namespace paper\n@version " + version +
           "\n==/UserStyle== */\n@-moz-document domain(\"example.com\") {\n  body { color: " +
           color + "; }\n}\n";
}

// Documents served by path; the answer for "/held.user.css" waits while `held` is set.
struct Documents {
    std::mutex mutex;
    std::condition_variable released;
    std::map<std::string, std::string> byPath;
    bool held = false;

    void hold(bool on) {
        std::lock_guard lock(mutex);
        held = on;
        released.notify_all();
    }
};

QString statusOf(StyleListController& list, std::int64_t id) {
    return list.model()
        .index(list.model().rowOf(id))
        .data(StyleListModel::UpdateStatusRole)
        .toString();
}

StyleListModel::UpdateButton buttonOf(StyleListController& list, std::int64_t id) {
    return static_cast<StyleListModel::UpdateButton>(
        list.model().index(list.model().rowOf(id)).data(StyleListModel::UpdateButtonRole).toInt());
}

// Waits until `spy` has recorded `count` signals in all.
bool waitForSignals(QSignalSpy& spy, int count) {
    while (spy.count() < count) {
        if (!spy.wait(30000)) {
            return false;
        }
    }
    return true;
}

void clickUpdate(MainWindow& window, StyleListController& list, std::int64_t id) {
    QTreeView& view = window.view();
    const QRect row = view.visualRect(view.model()->index(list.model().rowOf(id), 0));
    const QRect button = StyleRowDelegate::updateButtonRect(row, view.fontMetrics());
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, button.center());
}

}  // namespace

class RowUpdateTest : public QObject {
    Q_OBJECT
  private slots:
    void rowButtonsAndTheWholeCheck() {
        Documents docs;
        LoopbackHttpsServer web;
        web.server().Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
            std::unique_lock lock(docs.mutex);
            if (request.path == "/held.user.css") {
                docs.released.wait(lock, [&] { return !docs.held; });
            }
            const auto found = docs.byPath.find(request.path);
            if (found == docs.byPath.end()) {
                response.status = 404;
                return;
            }
            response.set_content(found->second, "text/css");
        });
        GuiFixture fx({"Mine"}, [&](SettingsStore& app) {
            app.set(kCertificateFileKey, boost::json::value(web.certificateFile().string()));
        });
        for (const char* name : {"held", "same", "gone"}) {
            docs.byPath["/" + std::string(name) + ".user.css"] = userCSS(name, "1.0", "red");
        }
        LibraryServices services = fx.services();
        services.compiler = &fx.session->compiler();
        services.downloader = &fx.session->downloader();
        const auto install = [&](const char* path) {
            return importFromURL(web.base() + path, services).uniqueID;
        };
        const std::int64_t newer = install("/held.user.css");
        const std::int64_t same = install("/same.user.css");
        const std::int64_t gone = install("/gone.user.css");
        QVERIFY(newer != 0 && same != 0 && gone != 0);
        {
            std::lock_guard lock(docs.mutex);
            docs.byPath["/held.user.css"] = userCSS("held", "2.0", "blue");
            docs.byPath.erase("/gone.user.css");
        }

        StyleListController list(*fx.session, fx.prompter);
        MainWindow window(*fx.session, list);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy statuses(&list, &StyleListController::updateStatusChanged);
        QCOMPARE(buttonOf(list, 1), StyleListModel::UpdateButton::none);  // written here

        // One row's button: the row is disabled and refuses changes until its check ends.
        docs.hold(true);
        clickUpdate(window, list, newer);
        QCOMPARE(statusOf(list, newer), QStringLiteral("checking"));
        QCOMPARE(updateStatusText(statusOf(list, newer)),
                 QStringLiteral("Checking for updates..."));
        QCOMPARE(buttonOf(list, newer), StyleListModel::UpdateButton::disabled);
        const QModelIndex row = list.model().index(list.model().rowOf(newer));
        QVERIFY(!row.flags().testFlag(Qt::ItemIsEnabled));
        QVERIFY(!list.model().setData(row, Qt::Unchecked, Qt::CheckStateRole));
        const int beeps = fx.prompter.beeps;
        list.toggle(newer, false);
        list.deleteStyles({newer});
        QCOMPARE(fx.prompter.beeps, beeps + 2);
        QVERIFY(fx.prompter.questions.isEmpty());
        QVERIFY(fx.session->store().styleByID(newer)->isEnabled);

        // The other rows are checked meanwhile.
        clickUpdate(window, list, same);
        clickUpdate(window, list, gone);
        QVERIFY(waitForSignals(statuses, 5));  // three rows checking, two of them done
        QCOMPARE(updateStatusText(statusOf(list, same)), QStringLiteral("Already up-to-date."));
        QCOMPARE(updateStatusText(statusOf(list, gone)), QStringLiteral("Update error."));
        QCOMPARE(statusOf(list, newer), QStringLiteral("checking"));

        docs.hold(false);
        QVERIFY(waitForSignals(statuses, 6));
        QCOMPARE(updateStatusText(statusOf(list, newer)), QStringLiteral("Updated!"));
        QVERIFY(row.flags().testFlag(Qt::ItemIsEnabled));
        const styleContainer updated = *fx.session->store().styleByID(newer);
        QCOMPARE(updated.version, std::string("2.0"));
        QVERIFY(updated.styleData.sections.at(0).code.find("blue") != std::string::npos);

        // Every row at once: no button can be pressed until the last row's check ends.
        docs.hold(true);
        statuses.clear();
        list.updateAll();
        QVERIFY(waitForSignals(statuses, 5));
        QCOMPARE(statusOf(list, same), QStringLiteral("noupdates"));
        QCOMPARE(statusOf(list, gone), QStringLiteral("error"));
        QCOMPARE(statusOf(list, newer), QStringLiteral("checking"));
        QCOMPARE(buttonOf(list, same), StyleListModel::UpdateButton::disabled);
        list.updateAll();  // one at a time: beeps
        docs.hold(false);
        QVERIFY(waitForSignals(statuses, 6));
        QCOMPARE(statusOf(list, newer), QStringLiteral("noupdates"));
        QCOMPARE(buttonOf(list, same), StyleListModel::UpdateButton::enabled);
        QCOMPARE(fx.prompter.beeps, beeps + 3);
    }
};

QTEST_MAIN(RowUpdateTest)
#include "row_update_test.moc"
