// The code editor control with its real page in a web view, on the offscreen platform: text in
// and out unchanged, edits reported, settings applied, beautify as one undo step, the find bar,
// and a page that cannot reach the network.

#include <QApplication>
#include <QEventLoop>
#include <QFontDatabase>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>
#include <QUndoStack>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

#include "app/code_editor/code_editor.h"
#include "app/code_editor/editor_page_profile.h"
#include "app/code_editor/find_bar.h"

using orlavine::gui::CodeEditor;
namespace editor = orlavine::editor;

namespace {

// What the page's statement evaluates to.
QVariant evaluate(CodeEditor& e, const QString& js) {
    QVariant result;
    QEventLoop loop;
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    e.view()->page()->runJavaScript(js, [&](const QVariant& v) {
        result = v;
        loop.quit();
    });
    loop.exec();
    return result;
}

// The statements reach the page in order, so a round trip means the ones before have run.
void settle(CodeEditor& e) {
    evaluate(e, QStringLiteral("0"));
}

}  // namespace

class CodeEditorTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        editor_ = std::make_unique<CodeEditor>(nullptr, QStringLiteral(ORLAVINE_EDITOR_PAGE));
        editor_->resize(600, 400);
        editor_->show();
        QSignalSpy ready(editor_.get(), &CodeEditor::ready);
        QVERIFY(editor_->isReady() || ready.wait(30000));
    }
    void cleanup() { editor_.reset(); }

    void textGoesInAndComesBackUnchangedWithNothingToUndo() {
        const QString text = QString::fromUtf8(
            "a \"quoted\" 'text' \\ with\ttabs\r\nCRLF \u0085 \u2028 \u2029 😀 名前 `tick`");
        editor_->setText(text);
        settle(*editor_);
        QCOMPARE(evaluate(*editor_, "editor.getValue();").toString(), text);
        QCOMPARE(editor_->text(), text);
        QCOMPARE(evaluate(*editor_, "editor.session.getUndoManager().hasUndo();").toBool(), false);
    }

    void anEditInThePageReachesTheTextCopy() {
        editor_->setText(QStringLiteral("body {}"));
        settle(*editor_);
        QSignalSpy changed(editor_.get(), &CodeEditor::textChanged);
        editor_->run(QStringLiteral("editor.navigateFileEnd(); editor.insert(' /* x */');"));
        QTRY_COMPARE_WITH_TIMEOUT(editor_->text(), QStringLiteral("body {} /* x */"), 10000);
        QVERIFY(changed.count() >= 1);
    }

    void settingsFollowTheSettingsAndTheWindow() {
        editor::Settings s;
        s.theme = "no such theme";
        s.showErrors = false;
        s.fontFamily = "Menlo";  // not installed on Linux
        s.fontSize = 15;
        editor_->applySettings(s, editor::Owner::exportSheet, QStringLiteral("less"), false);
        settle(*editor_);
        QCOMPARE(evaluate(*editor_, "editor.getTheme();").toString(),
                 QStringLiteral("ace/theme/xcode"));
        QCOMPARE(evaluate(*editor_, "editor.session.getMode().$id;").toString(),
                 QStringLiteral("ace/mode/less"));
        QCOMPARE(evaluate(*editor_, "editor.getOption('useWorker');").toBool(), false);
        QCOMPARE(evaluate(*editor_, "editor.getReadOnly();").toBool(), true);
        QCOMPARE(evaluate(*editor_, "editor.getFontSize();").toInt(), 15);
        QCOMPARE(evaluate(*editor_, "editor.getOption('fontFamily');").toString(),
                 CodeEditor::installedFontFamily(QStringLiteral("Menlo")));
        QVERIFY(CodeEditor::installedFontFamily(QStringLiteral("Menlo")) !=
                QStringLiteral("Menlo"));
    }

    void theCssCheckerMarksErrorsWhenAskedTo() {
        editor::Settings s;
        s.showErrors = true;
        editor_->applySettings(s, editor::Owner::styleEditor, QStringLiteral("css"), false);
        editor_->setText(QStringLiteral("a { color: red;; }\nb { ; }"));
        QTRY_VERIFY_WITH_TIMEOUT(
            evaluate(*editor_, "editor.session.getAnnotations().length;").toInt() > 0, 15000);
    }

    void beautifyIsOneUndoStep() {
        editor_->setText(QStringLiteral("a{b:c}"));
        QUndoStack undo;
        QSignalSpy changed(editor_.get(), &CodeEditor::textChanged);
        editor_->beautify(&undo);
        QTRY_COMPARE_WITH_TIMEOUT(editor_->text(), QStringLiteral("a {\n\tb: c\n}"), 10000);
        QCOMPARE(undo.count(), 1);
        QCOMPARE(undo.text(0), QStringLiteral("Beautify"));
        undo.undo();
        QCOMPARE(editor_->text(), QStringLiteral("a{b:c}"));
        settle(*editor_);
        QCOMPARE(evaluate(*editor_, "editor.getValue();").toString(), QStringLiteral("a{b:c}"));
        undo.redo();
        QCOMPARE(editor_->text(), QStringLiteral("a {\n\tb: c\n}"));
    }

    void theFindBarFindsWrapsAndReplaces() {
        editor_->setText(QStringLiteral("Alpha beta\nALPHA"));
        auto* bar = editor_->findBar();
        bar->showReplace();
        bar->findField()->setText(QStringLiteral("alpha"));
        bar->findNext();
        QCOMPARE(bar->matchStart(), 0);
        bar->findNext();
        QCOMPARE(bar->matchStart(), 11);
        settle(*editor_);
        QCOMPARE(evaluate(*editor_, "editor.getSelectedText();").toString(),
                 QStringLiteral("ALPHA"));
        bar->findNext();
        QCOMPARE(bar->matchStart(), 0);  // wraps around
        bar->replaceField()->setText(QStringLiteral("x"));
        QCOMPARE(bar->replaceAll(), 2);
        QCOMPARE(editor_->text(), QStringLiteral("x beta\nx"));
    }

    void thePageCannotReachTheNetwork() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const QString url = QStringLiteral("http://127.0.0.1:%1/x").arg(server.serverPort());
        editor_->run(QStringLiteral("window.outcome = ''; fetch('%1').then(() => outcome = "
                                    "'fetched', () => outcome = 'refused');")
                         .arg(url));
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(*editor_, "window.outcome;").toString(),
                                  QStringLiteral("refused"), 10000);
        QVERIFY(!server.hasPendingConnections());
    }

  private:
    std::unique_ptr<CodeEditor> editor_;
};

int main(int argc, char** argv) {
    orlavine::gui::registerEditorPageScheme();
    QApplication app(argc, argv);
    CodeEditorTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "code_editor_test.moc"
