// The style list as a user drives it: reordering, deleting with undo, the sync lock, renaming,
// the search field and keys, and changes made by another program.

#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include "app/gui/main_window.h"
#include "app/gui/reorder.h"
#include "app/gui/style_list_controller.h"
#include "gui_fixture.h"
#include "library/library_services.h"

using namespace orlavine;
using namespace orlavine::gui;
using orlavine::testing::GuiFixture;

namespace {

std::vector<std::string> toStd(const QStringList& list) {
    std::vector<std::string> out;
    for (const QString& s : list) {
        out.push_back(s.toStdString());
    }
    return out;
}

bool rowEnabled(const StyleListController& list, std::int64_t id) {
    auto& model = const_cast<StyleListController&>(list).model();
    return model.rows()[static_cast<std::size_t>(model.rowOf(id))].isEnabled;
}

}  // namespace

class StyleListTest : public QObject {
    Q_OBJECT
  private slots:
    void reorder_data() {
        QTest::addColumn<QList<int>>("dragged");
        QTest::addColumn<int>("dropRow");
        QTest::addColumn<QStringList>("expected");
        const QString f = "first", s = "second", t = "third", o = "fourth";
        QTest::newRow("two down") << QList<int>{0, 1} << 3 << QStringList{t, f, s, o};
        QTest::newRow("last to top") << QList<int>{3} << 0 << QStringList{o, f, s, t};
        QTest::newRow("below the last") << QList<int>{0} << 4 << QStringList{s, t, o, f};
        QTest::newRow("either side") << QList<int>{0, 3} << 2 << QStringList{s, f, o, t};
        QTest::newRow("onto itself") << QList<int>{1} << 1 << QStringList{f, s, t, o};
    }
    void reorder() {
        QFETCH(QList<int>, dragged);
        QFETCH(int, dropRow);
        QFETCH(QStringList, expected);
        GuiFixture fx({"first", "second", "third", "fourth"});
        StyleListController list(*fx.session, fx.prompter);
        list.reorder(std::vector<int>(dragged.begin(), dragged.end()), dropRow);
        QCOMPARE(fx.names(), toStd(expected));
        std::vector<std::string> shown;
        for (const StyleRow& row : list.model().rows()) {
            shown.push_back(row.name.toStdString());
        }
        QCOMPARE(shown, toStd(expected));
    }

    void dropOnARowIsRefused() {
        GuiFixture fx({"first", "second"});
        StyleListController list(*fx.session, fx.prompter);
        StyleListModel& model = list.model();
        std::unique_ptr<QMimeData> data(model.mimeData({model.index(0)}));
        QVERIFY(!model.canDropMimeData(data.get(), Qt::MoveAction, -1, -1, model.index(1)));
        QVERIFY(model.canDropMimeData(data.get(), Qt::MoveAction, 2, 0, {}));
        QSignalSpy asked(&model, &StyleListModel::reorderRequested);
        model.dropMimeData(data.get(), Qt::MoveAction, 2, 0, {});
        QVERIFY(asked.wait(5000));
        QCOMPARE(fx.names(), (std::vector<std::string>{"second", "first"}));
    }

    void deleteThreeWithOneOpenThenUndo() {
        GuiFixture fx({"a", "b", "c", "d"});
        StyleListController list(*fx.session, fx.prompter);
        fx.session->notifications().post(notifications::kAddToOpenStyles, {{"id", 2}});
        QTRY_VERIFY_WITH_TIMEOUT(list.openStyleIDs().contains(2), 5000);

        fx.prompter.answers = {true};
        list.deleteStyles({1, 2, 3});
        QCOMPARE(fx.prompter.questions, QStringList{"Are you sure you want to delete 2 styles?"});
        QCOMPARE(fx.prompter.alerts, QStringList{"Cannot Delete Styles"});
        QCOMPARE(fx.names(), (std::vector<std::string>{"b", "d"}));
        QCOMPARE(list.model().rowCount(), 2);
        QCOMPARE(list.undoStack().undoText(), QString("Delete Style"));

        list.undoStack().undo();
        QCOMPARE(fx.names(), (std::vector<std::string>{"a", "b", "c", "d"}));
        QTRY_COMPARE_WITH_TIMEOUT(list.model().rowCount(), 4, 5000);

        // One open style alone: refused with its name, nothing asked.
        fx.prompter.alerts.clear();
        list.deleteStyles({2});
        QCOMPARE(fx.prompter.alerts, QStringList{"Cannot Delete Style"});
        QCOMPARE(fx.prompter.questions.size(), 1);
        // "No" keeps the style.
        list.deleteStyles({4});
        QCOMPARE(fx.names().size(), 4u);
    }

    void syncLockRefusesEveryChange() {
        GuiFixture fx({"a", "b"});
        StyleListController list(*fx.session, fx.prompter);
        list.setSyncInProgress([] { return true; });
        const styleDatabase before = fx.session->store().snapshot();

        list.model().setData(list.model().index(0), Qt::Unchecked, Qt::CheckStateRole);
        list.setAllEnabled(false);
        list.duplicate({1});
        list.deleteStyles({1});
        list.rename(1, "New");
        list.reorder({1}, 0);

        QCOMPARE(fx.prompter.beeps, 6);
        QVERIFY(fx.prompter.questions.isEmpty());
        QVERIFY(fx.session->store().snapshot() == before);
        QCOMPARE(list.model().index(0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    }

    void renameTrimsAndRefusesBlank() {
        GuiFixture fx({"a"});
        StyleListController list(*fx.session, fx.prompter);
        list.model().setData(list.model().index(0), "  \n ", Qt::EditRole);
        QCOMPARE(fx.prompter.alerts, QStringList{"Invalid Name"});
        QCOMPARE(list.model().index(0).data().toString(), QString("a"));
        list.model().setData(list.model().index(0), "  Night \n", Qt::EditRole);
        QCOMPARE(fx.names(), std::vector<std::string>{"Night"});
        QCOMPARE(list.model().index(0).data().toString(), QString("Night"));
    }

    void windowSearchKeysAndHint() {
        GuiFixture fx;
        StyleListController list(*fx.session, fx.prompter);
        MainWindow window(*fx.session, list);
        QVERIFY(window.showsEmptyHint());

        styleContainer dark = orlavine::testing::sampleStyle(1, "Dark");
        dark.styleData.sections[0].domains = {"news.example.org"};
        fx.session->store().add(dark);
        fx.session->store().add(orlavine::testing::sampleStyle(2, "Light"));
        QTRY_COMPARE_WITH_TIMEOUT(list.model().rowCount(), 2, 5000);
        QVERIFY(!window.showsEmptyHint());

        QTreeView& view = window.view();
        window.searchField().setText("NEWS.example");
        QCOMPARE(view.model()->rowCount(), 1);
        QCOMPARE(view.model()->index(0, 0).data().toString(), QString("Dark"));
        window.searchField().setText("light");
        QCOMPARE(view.model()->index(0, 0).data().toString(), QString("Light"));
        window.searchField().clear();

        window.selectStyle(2);
        QTest::keyClick(&view, Qt::Key_Space);
        QVERIFY(!rowEnabled(list, 2));
        QVERIFY(view.model()->index(1, 0).data(Qt::ForegroundRole).isValid());
        fx.prompter.answers = {true};
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(fx.prompter.questions,
                 QStringList{"Are you sure you want to delete the style \"Light\"?"});
        QCOMPARE(fx.names(), std::vector<std::string>{"Dark"});
    }

    void listActions() {
        GuiFixture fx({"a", "b", "c"});
        StyleListController list(*fx.session, fx.prompter);
        MainWindow window(*fx.session, list);
        const auto enabled = [&] {
            std::vector<bool> out;
            for (const styleContainer& s : fx.session->store().snapshot().styles) {
                out.push_back(s.isEnabled);
            }
            return out;
        };
        list.setAllEnabled(false);
        QCOMPARE(enabled(), (std::vector<bool>{false, false, false}));
        list.setEnabled({1, 3}, true);
        QCOMPARE(enabled(), (std::vector<bool>{true, false, true}));
        QVERIFY(!list.model().index(1).data(Qt::ForegroundRole).isNull());

        // One copy is selected at the end of the list; two are added after it.
        list.duplicate({2});
        QTRY_COMPARE_WITH_TIMEOUT(window.selectedIDs().size(), 1u, 5000);
        QCOMPARE(list.model().rows().back().uniqueID, window.selectedIDs().front());
        QCOMPARE(fx.names().back(), std::string("Copy of b"));
        list.duplicate({1, 3});
        QCOMPARE(fx.names().size(), 6u);

        // Enter opens the selected style; a style open already only comes to the front.
        QSignalSpy opened(&list, &StyleListController::openInEditor);
        std::vector<std::int64_t> focused;
        fx.session->notifications().addObserver(kCheckIfWindowFocus, [&](const Notification& n) {
            focused.push_back(std::get<std::int64_t>(n.userInfo.at("id")));
        });
        window.selectStyle(1);
        QTest::keyClick(&window.view(), Qt::Key_Return);
        QCOMPARE(opened.size(), 1);
        fx.session->notifications().post(notifications::kAddToOpenStyles, {{"id", 1}});
        QTRY_VERIFY_WITH_TIMEOUT(list.openStyleIDs().contains(1), 5000);
        fx.session->notifications().post(notifications::kOpenStyleNotif, {{"id", 1}});
        QTRY_COMPARE_WITH_TIMEOUT(focused, std::vector<std::int64_t>{1}, 5000);
        QCOMPARE(opened.size(), 1);
    }

    void changeByAnotherProgramShows() {
        GuiFixture fx({"a", "b"});
        QVERIFY(fx.session->watchOtherPrograms().ok());
        StyleListController list(*fx.session, fx.prompter);
        QVERIFY(rowEnabled(list, 2));

        QProcess cli;
        cli.setProcessChannelMode(QProcess::ForwardedChannels);
        cli.start(ORLAVINE_PROGRAM, {"disable", "2"});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!rowEnabled(list, 2), 5000);
        QVERIFY(rowEnabled(list, 1));
    }
};

QTEST_MAIN(StyleListTest)
#include "style_list_test.moc"
