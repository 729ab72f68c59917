// The properties panel on the offscreen platform: a control per variable kind writing the value
// forms the compiler reads, exclusions, reset with its question, save and cancel.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTableWidget>
#include <QtTest>

#include "app/gui/properties_window.h"
#include "gui_fixture.h"

using namespace orlavine;
using gui::PropertiesWindow;

namespace {

styleContainer withVariables(std::int64_t id) {
    styleContainer s = testing::sampleStyle(id, "Dials");
    s.exclDomain = std::vector<std::string>{"old.org"};
    s.userVariables = std::vector<userVariable>{
        {"text", "greeting", "Greeting", "hi", std::nullopt, std::nullopt, "hello"},
        {"checkbox", "rounded", "Rounded", "1", std::nullopt, std::nullopt, "1"},
        {"range", "gap", "Gap", "4", std::nullopt, rangeOpts{0, 10, 1, "px"}, "4"},
        {"select", "theme", "Theme", "0",
         std::vector<variableOption>{{"dark", "Dark", "#000"}, {"light", "Light", "#fff"}},
         std::nullopt, "7"},  // an index outside the options
        {"color", "ink", "Ink", "#ff0000", std::nullopt, std::nullopt, "#00ff00"},
    };
    return s;
}

}  // namespace

class PropertiesTest : public QObject {
    Q_OBJECT

  private slots:
    void controlsWriteTheirValuesAndSaveStoresThem() {
        testing::GuiFixture f;
        f.session->store().add(withVariables(1));
        PropertiesWindow w(*f.session, f.prompter, *f.session->store().styleByID(1));
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        QCOMPARE(w.windowTitle(), QStringLiteral("Properties of Dials"));

        auto* text = qobject_cast<QLineEdit*>(w.variableControl("greeting"));
        QVERIFY(text != nullptr);
        QCOMPARE(text->text(), QStringLiteral("hello"));
        QTest::keyClicks(text, "!");
        auto* box = qobject_cast<QCheckBox*>(w.variableControl("rounded"));
        QVERIFY(box != nullptr && box->isChecked() && box->text() == QStringLiteral("Enabled"));
        box->setChecked(false);
        auto* slider = qobject_cast<QSlider*>(w.variableControl("gap"));
        QVERIFY(slider != nullptr);
        QCOMPARE(slider->tickPosition(), QSlider::TicksBelow);
        slider->setValue(7);
        auto* menu = qobject_cast<QComboBox*>(w.variableControl("theme"));
        QVERIFY(menu != nullptr);
        QCOMPARE(menu->currentIndex(), -1);  // shown empty, value kept
        // The colour panel starts at the stored colour; half transparency writes rgba().
        auto* ink = qobject_cast<QPushButton*>(w.variableControl("ink"));
        QVERIFY(ink != nullptr);
        f.prompter.colour = QColor::fromRgbF(0.0f, 0.0f, 1.0f, 0.5f);
        ink->click();
        QCOMPARE(f.prompter.shownColour, QColor(0, 255, 0));

        w.addExclusion(kRowPrefix);
        w.exclusionTable().item(1, 1)->setText("https://new.org/");
        w.addExclusion(kRowRegExp);  // left blank

        bool closed = false;
        w.save([&closed](bool c) { closed = c; });
        QTRY_VERIFY_WITH_TIMEOUT(closed, 10000);
        const styleContainer stored = *f.session->store().styleByID(1);
        const auto& vars = *stored.userVariables;
        QCOMPARE(vars[0].currentValue, std::optional<std::string>("hello!"));
        QCOMPARE(vars[1].currentValue, std::optional<std::string>("0"));
        QCOMPARE(vars[2].currentValue, std::optional<std::string>("7.0"));
        QCOMPARE(vars[3].currentValue, std::optional<std::string>("7"));
        QCOMPARE(vars[4].currentValue, std::optional<std::string>("rgba(0,0,255,0.5)"));
        QCOMPARE(stored.exclDomain, std::optional<std::vector<std::string>>({"old.org"}));
        QCOMPARE(stored.exclPrefix, std::optional<std::vector<std::string>>({"https://new.org/"}));
        QVERIFY(!stored.exclRegExp.has_value());
    }

    void resetAsksAndCancelKeepsTheLibrary() {
        testing::GuiFixture f;
        f.session->store().add(withVariables(1));
        const styleContainer before = *f.session->store().styleByID(1);
        auto* w = new PropertiesWindow(*f.session, f.prompter, before);
        QSignalSpy closing(w, &PropertiesWindow::closing);
        f.prompter.answers = {false, true};
        w->resetVariables();
        QCOMPARE(w->draft().style().userVariables->at(0).currentValue,
                 std::optional<std::string>("hello"));
        w->resetVariables();
        QCOMPARE(f.prompter.questions.last(), QString::fromLatin1(kResetVariablesQuestion));
        QCOMPARE(w->draft().style().userVariables->at(0).currentValue,
                 std::optional<std::string>("hi"));
        // An update check closes the panel without saving.
        f.session->notifications().post(notifications::kCloseProperties, {{"id", std::int64_t{1}}});
        QTRY_COMPARE_WITH_TIMEOUT(closing.count(), 1, 5000);
        QCOMPARE(*f.session->store().styleByID(1), before);
    }

    void aStyleWithoutVariablesShowsNoVariableArea() {
        testing::GuiFixture f({"Plain"});
        PropertiesWindow w(*f.session, f.prompter, *f.session->store().styleByID(1));
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        w.show();
        QVERIFY(w.findChild<QPushButton*>() != nullptr);
        const auto buttons = w.findChildren<QPushButton*>();
        for (QPushButton* b : buttons) {
            if (b->text() == QStringLiteral("Reset Variables")) {
                QVERIFY(!b->isVisible());
            }
        }
    }
};

QTEST_MAIN(PropertiesTest)
#include "properties_test.moc"
