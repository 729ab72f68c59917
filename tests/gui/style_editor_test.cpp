// The style editor window, the export window and the compiler error window with the real editor
// page, on the offscreen platform: editing and saving, the section commands, closing with and
// without saving, read-only styles, a rename made meanwhile, and the files they write.

#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

#include "app/code_editor/editor_page_profile.h"
#include "app/gui/compiler_error_window.h"
#include "app/gui/export_window.h"
#include "app/gui/paste_import_window.h"
#include "app/gui/style_editor_window.h"
#include "app/gui/style_list_controller.h"
#include "formats/usercss_writer.h"
#include "gui_fixture.h"

using namespace orlavine;
using gui::StyleEditorWindow;

namespace {

styleContainer twoSections(std::int64_t id, const std::string& source = "custom") {
    styleContainer s = testing::sampleStyle(id, "Two Parts");
    s.source = source;
    styleSection header;
    header.urlPrefixes = {"https://example.com/docs/"};
    header.code = "h1 { margin: 0 }";
    header.sectionName = "Header";
    s.styleData.sections.push_back(header);
    return s;
}

// A window on the stored style, once its page is ready.
std::unique_ptr<StyleEditorWindow> openWindow(testing::GuiFixture& f, std::int64_t id) {
    auto window = std::make_unique<StyleEditorWindow>(*f.session, f.prompter,
                                                      *f.session->store().styleByID(id));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->show();
    QSignalSpy ready(&window->editor(), &gui::CodeEditor::ready);
    if (!window->editor().isReady()) {
        ready.wait(30000);
    }
    return window;
}

// Waits until the page has run what was sent to it.
void settle(StyleEditorWindow& w) {
    bool done = false;
    w.editor().view()->page()->runJavaScript(QStringLiteral("0"),
                                             [&done](const QVariant&) { done = true; });
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
}

}  // namespace

class StyleEditorTest : public QObject {
    Q_OBJECT

  private slots:
    void anEditIsSavedAndTheWindowIsNoLongerEdited() {
        testing::GuiFixture f;
        f.session->store().add(twoSections(1));
        auto w = openWindow(f, 1);
        QVERIFY(w->editor().isReady());
        QCOMPARE(w->sectionPicker().count(), 2);
        QCOMPARE(w->sectionPicker().itemText(0), QStringLiteral("Section 1"));
        QCOMPARE(w->sectionPicker().itemText(1), QStringLiteral("Header"));
        settle(*w);
        QCOMPARE(w->editor().text(), QStringLiteral("body { color: red; }"));

        w->editor().run(QStringLiteral("editor.navigateFileEnd(); editor.insert(' a{}');"));
        QTRY_VERIFY_WITH_TIMEOUT(w->isWindowModified(), 10000);
        QSignalSpy saved(w.get(), &StyleEditorWindow::saved);
        w->save();
        QVERIFY(saved.wait(10000));
        QVERIFY(!w->isWindowModified());
        QCOMPARE(f.session->store().styleByID(1)->styleData.sections[0].code,
                 std::string("body { color: red; } a{}"));
        // The command line (as the browser host does) gives the saved CSS for a page.
        QProcess cli;
        cli.start(ORLAVINE_PROGRAM, {"css", "https://example.com/"});
        QVERIFY(cli.waitForFinished(60000));
        QVERIFY(cli.readAllStandardOutput().contains("body { color: red; } a{}"));

        // A rename from the list while the window is open survives the next save.
        const Result<bool> renamed = f.session->store().rename(1, "Renamed");
        QVERIFY(renamed && *renamed);
        QTRY_COMPARE_WITH_TIMEOUT(w->document().style().styleData.name, std::string("Renamed"),
                                  5000);
        w->selectSection(1);
        settle(*w);
        QCOMPARE(w->editor().text(), QStringLiteral("h1 { margin: 0 }"));
        w->editor().run(QStringLiteral("editor.insert('/* x */');"));
        QTRY_VERIFY_WITH_TIMEOUT(w->isWindowModified(), 10000);
        w->save();
        QVERIFY(saved.wait(10000));
        QCOMPARE(f.session->store().styleByID(1)->styleData.name, std::string("Renamed"));
    }

    void sectionCommandsAskWhatTheyMustAndExportTheSection() {
        testing::GuiFixture f;
        f.session->store().add(twoSections(1));
        auto w = openWindow(f, 1);
        w->addSection({"Footer", kRowDomain, "footer.example", false});
        settle(*w);
        QCOMPARE(w->sectionPicker().count(), 3);
        QCOMPARE(w->sectionPicker().currentText(), QStringLiteral("Footer"));
        QVERIFY(w->isWindowModified());

        w->deleteSection();  // empty code goes without a question
        settle(*w);
        QCOMPARE(w->sectionPicker().count(), 2);
        QVERIFY(f.prompter.questions.isEmpty());
        f.prompter.answers = {false};
        w->deleteSection();  // "Header" has code: asked, answered No
        settle(*w);
        QCOMPARE(f.prompter.questions.last(),
                 QStringLiteral("Are you sure you want to delete Header?"));
        QCOMPARE(w->sectionPicker().count(), 2);

        testing::TempDir out;
        f.prompter.savePath = QString::fromStdString((out.path() / "header.css").string());
        w->exportSection();
        settle(*w);
        QCOMPARE(f.prompter.panels.last(),
                 QStringLiteral("Export Section as CSS File: Two Parts - Header.css"));
        QCOMPARE(QString::fromStdString(testing::readText(out.path() / "header.css")),
                 QStringLiteral("h1 { margin: 0 }"));
        f.prompter.savePath = QString::fromStdString(out.path().string());  // a folder
        w->exportSection();
        settle(*w);
        QCOMPARE(f.prompter.alerts.last(), QStringLiteral("Error Saving File"));
    }

    void closingAsksOnlyWhenEditedAndTellsTheList() {
        testing::GuiFixture f;
        f.session->store().add(twoSections(1));
        std::vector<std::int64_t> closed;
        const auto token = f.session->notifications().addObserver(
            gui::kRemoveFromOpenStyles, [&closed](const Notification& n) {
                closed.push_back(std::get<std::int64_t>(n.userInfo.at("id")));
            });
        auto w = openWindow(f, 1);
        StyleEditorDocument::Metadata m = w->document().metadata();
        m.author = "Ana";
        w->setMetadata(m);
        f.prompter.choices = {1, 2};  // Cancel, then Don't Save
        QVERIFY(!w->close());
        QCOMPARE(f.prompter.questions.last(),
                 QStringLiteral("Would you like to save changes to Two Parts?"));
        QCOMPARE(w->document().style().author, std::string("Ana"));
        QVERIFY(closed.empty());
        QVERIFY(w->close());
        QCOMPARE(closed, std::vector<std::int64_t>{1});
        QCOMPARE(f.session->store().styleByID(1)->author, std::string(""));
        f.session->notifications().removeObserver(token);

        auto again = openWindow(f, 1);
        const int asked = static_cast<int>(f.prompter.questions.size());
        QVERIFY(again->close());  // unchanged: nothing asked
        QCOMPARE(static_cast<int>(f.prompter.questions.size()), asked);
    }

    void aReadOnlyStyleWarnsOnceAndNeverChanges() {
        testing::GuiFixture f;
        f.session->store().add(twoSections(1, "usercss"));
        auto w = openWindow(f, 1);
        QCOMPARE(f.prompter.questions.first(), QStringLiteral("Style is Read-Only"));
        w->addSection({"x", kRowDomain, "x.org", false});
        w->duplicateSection();
        w->deleteSection();
        settle(*w);
        QCOMPARE(w->sectionPicker().count(), 2);
        QCOMPARE(w->editor().isReadOnly(), true);
        QVERIFY(!w->isWindowModified());
        QVERIFY(w->close());
    }

    void pastedTextBecomesAStyleOrKeepsTheWindowOpen() {
        testing::GuiFixture f;
        auto* w = new gui::PasteImportWindow(f.services(), editor::Settings{});
        w->show();
        QSignalSpy ready(&w->editor(), &gui::CodeEditor::ready);
        QVERIFY(w->editor().isReady() || ready.wait(30000));
        QSignalSpy imported(w, &gui::PasteImportWindow::imported);

        w->editor().setText(QStringLiteral("@-moz-document domain(\"a.org\" {"));
        w->import();
        QVERIFY(imported.wait(10000));
        QCOMPARE(f.reporter.alerts().back(), std::string("Invalid Style"));
        QVERIFY(w->isVisible());
        QVERIFY(f.names().empty());

        QPointer<gui::PasteImportWindow> alive(w);
        w->editor().setText(QStringLiteral("body { margin: 0 }"));
        w->import();
        QVERIFY(imported.wait(10000));
        QCOMPARE(f.names(), std::vector<std::string>{"New Style from CSS"});
        QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 5000);  // closed and gone
    }

    void exportAndCompilerErrorWindows() {
        testing::GuiFixture f;
        const styleContainer style = twoSections(1);
        gui::ExportWindow exporter(*f.session, f.prompter, style);
        QCOMPARE(exporter.windowTitle(), QStringLiteral("Exporting Two Parts"));
        QCOMPARE(exporter.text(), QString::fromStdString(writeUserCSS(style)));
        testing::TempDir out;
        f.prompter.savePath = QString::fromStdString((out.path() / "two.user.css").string());
        QVERIFY(exporter.save());
        QCOMPARE(f.prompter.panels.last(),
                 QStringLiteral("Export User CSS File: Two Parts.user.css"));
        QCOMPARE(QString::fromStdString(testing::readText(out.path() / "two.user.css")),
                 exporter.text());

        gui::CompilerErrorWindows windows;
        QSignalSpy shown(&windows, &gui::CompilerErrorWindows::shown);
        windows.showCompilerError(
            {"unexpected }\nError.captureStackTrace(x)", "Two Parts", StyleCompilerKind::less});
        QVERIFY(shown.wait(5000));
        auto* window = shown.first().first().value<gui::CompilerErrorWindow*>();
        QCOMPARE(window->windowTitle(), QStringLiteral("Compiler Error (Two Parts)"));
        QCOMPARE(window->header(), QStringLiteral("A Less compilation error occurred."));
        QCOMPARE(window->errorText(), QStringLiteral("unexpected }\n"));
        window->close();
    }
};

int main(int argc, char** argv) {
    gui::registerEditorPageScheme();
    QApplication app(argc, argv);
    gui::editorPageProfile(QStringLiteral(ORLAVINE_EDITOR_PAGE));
    StyleEditorTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "style_editor_test.moc"
