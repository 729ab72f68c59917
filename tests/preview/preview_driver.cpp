// Drives the real style editor window with live preview on, for the browser test: opens the
// style given as the argument on the library of ORLAVINE_HOME and then follows commands read
// from standard input, one per line, answering each on standard output:
//   type TEXT   types TEXT over the section's code, as keys would  -> "typed"
//   close       closes the window without saving                    -> "closed", then exits
// "ready" is printed once the editor shows the style.

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "app/code_editor/editor_page_profile.h"
#include "app/gui/preview_compiler.h"
#include "app/gui/style_editor_window.h"
#include "editor/editor_statements.h"
#include "gui/gui_fixture.h"
#include "library/live_preview.h"
#include "session/session.h"

using namespace orlavine;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: preview_driver STYLE-ID\n");
        return 2;
    }
    gui::registerEditorPageScheme();
    QApplication app(argc, argv);
    gui::editorPageProfile(QStringLiteral(ORLAVINE_EDITOR_PAGE));
    StderrReporter reporter;
    Session session(reporter);
    std::optional<styleContainer> style = session.store().styleByID(std::stoll(argv[1]));
    if (!style) {
        std::fprintf(stderr, "no style %s\n", argv[1]);
        return 1;
    }
    auto compiler = std::make_shared<gui::PreviewCompiler>();
    auto preview = std::make_shared<LivePreview>(
        session.store().databaseFile().parent_path(),
        [compiler](styleContainer& s) { return compiler->compile(s); });
    testing::ScriptedPrompter prompter;
    prompter.choices = {2};  // "Don't Save"
    auto* window = new gui::StyleEditorWindow(session, prompter, *style, preview);
    window->show();
    const auto say = [](const char* line) {
        std::printf("%s\n", line);
        std::fflush(stdout);
    };
    QObject::connect(&window->editor(), &gui::CodeEditor::ready, [say] { say("ready"); });

    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        std::string line;
        if (!std::getline(std::cin, line)) {
            QApplication::quit();
            return;
        }
        if (line.starts_with("type ")) {
            const std::string text = line.substr(5);
            window->editor().run(QString::fromStdString("editor.selectAll(); editor.insert(\"" +
                                                        editor::scriptLiteral(text) + "\");"));
            say("typed");
        } else if (line == "close") {
            window->close();
            say("closed");
            QApplication::quit();
        }
    });
    return QApplication::exec();
}
