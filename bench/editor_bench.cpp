// The style editor window: opening a 1 MB style until its text is in the editor, a keystroke
// until the browser host's copy of the library gives the new CSS (live preview, the pause before
// sending included), and the memory one open editor needs (this process and the editor page's
// processes). The reference, in the same run, is a plain QPlainTextEdit given the same text and
// painted. Qt's offscreen platform; Release build.

#include <dirent.h>
#include <fmt/format.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/code_editor/editor_page_profile.h"
#include "app/gui/preview_compiler.h"
#include "app/gui/style_editor_window.h"
#include "editor/editor_statements.h"
#include "extension/cached_library.h"
#include "library/live_preview.h"
#include "model/record_json.h"
#include "model/style_factory.h"
#include "model/style_preview.h"
#include "model/wormhole.h"
#include "session/session.h"
#include "window_bench_support.h"

namespace {

using namespace orlavine;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Resident memory of this process and every process it started, in MB.
double familyResidentMB() {
    const auto rssOf = [](const std::string& pid) {
        std::ifstream status("/proc/" + pid + "/status");
        std::string line;
        double kb = 0;
        while (std::getline(status, line)) {
            if (line.starts_with("VmRSS:")) {
                kb = std::stod(line.substr(6));
            }
        }
        return kb / 1024.0;
    };
    const auto parentOf = [](const std::string& pid) {
        std::ifstream stat("/proc/" + pid + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const std::size_t close = text.rfind(')');
        if (close == std::string::npos) {
            return std::string();
        }
        std::istringstream rest(text.substr(close + 2));
        std::string state;
        std::string ppid;
        rest >> state >> ppid;
        return ppid;
    };
    std::vector<std::string> family = {std::to_string(::getpid())};
    std::vector<std::pair<std::string, std::string>> all;
    if (DIR* proc = ::opendir("/proc")) {
        while (dirent* entry = ::readdir(proc)) {
            const std::string name = entry->d_name;
            if (!name.empty() && std::all_of(name.begin(), name.end(), ::isdigit)) {
                all.emplace_back(name, parentOf(name));
            }
        }
        ::closedir(proc);
    }
    for (std::size_t i = 0; i < family.size(); ++i) {
        for (const auto& [pid, parent] : all) {
            if (parent == family[i]) {
                family.push_back(pid);
            }
        }
    }
    double total = 0;
    for (const std::string& pid : family) {
        total += rssOf(pid);
    }
    return total;
}

// About `bytes` of varied CSS, as a long site theme has.
std::string largeCSS(std::size_t bytes) {
    std::string css;
    for (int i = 0; css.size() < bytes; ++i) {
        css += fmt::format(
            ".block-{0} > .item:not(.hidden) a[href^=\"https://\"]::after {{\n"
            "\tcolor: rgb({1}, {2}, {3}) !important;\n\tbackground: url(\"data:image/svg+xml,"
            "%3Csvg%3E%3C/svg%3E\") no-repeat;\n\tmargin: {4}px 0 0 {5}em; /* item {0} */\n}}\n",
            i, i % 255, (i * 7) % 255, (i * 13) % 255, i % 17, i % 5);
    }
    return css;
}

template <class Predicate>
bool waitFor(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const Clock::time_point end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The length of the editor page's text, or -1 until it answers.
qsizetype pageTextLength(gui::CodeEditor& editor) {
    qsizetype length = -1;
    bool answered = false;
    editor.view()->page()->runJavaScript(
        QStringLiteral(
            "typeof editor === 'undefined' || !editor.getValue ? -1 : editor.getValue().length"),
        [&](const QVariant& v) {
            length = v.toLongLong();
            answered = true;
        });
    waitFor([&] { return answered; });
    return length;
}

class NullReporter : public Reporter {
  public:
    void consoleLine(std::string_view) override {}
    void showAlert(std::string_view, std::string_view) override {}
};

// Whether the editor page holds the whole text the window gave it.
bool textShown(gui::CodeEditor& editor) {
    return !editor.text().isEmpty() && pageTextLength(editor) == editor.text().size();
}

struct Spread {
    double median = 0;
    double low = 0;
    double high = 0;
};

Spread spread(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

std::string shown(const Spread& s) {
    return fmt::format("{:.0f} ms ({:.0f}-{:.0f})", s.median, s.low, s.high);
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path home = bench::makeBenchHome();
    const std::string code = largeCSS(1'000'000);
    {
        styleDatabase db = newDatabase();
        styleContainer style;
        style.uniqueID = 1;
        style.styleData.name = "Large theme";
        styleSection section;
        section.domains = {"example.org"};
        section.code = code;
        style.styleData.sections = {section};
        db.styles = {style};
        std::ofstream(home / "data" / "styledb.sdb") << encodeDatabase(db);
    }

    gui::registerEditorPageScheme();
    QApplication app(argc, argv);
    gui::editorPageProfile(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../app/resources/editor"));
    StderrReporter reporter;
    Session session(reporter);
    const styleContainer style = *session.store().styleByID(1);
    bench::SilentPrompter prompter(2);  // "Don't Save"
    const int runs = 7;

    // Opening: the window made until the page holds the whole text. The first run also starts
    // the page's processes, so it is shown apart; memory is taken with the first window open.
    std::vector<double> opens;
    double firstOpen = 0;
    const double memoryBefore = familyResidentMB();
    double memoryGrowth = 0;
    for (int run = 0; run <= runs; ++run) {
        const Clock::time_point start = Clock::now();
        auto* window = new gui::StyleEditorWindow(session, prompter, style);
        window->show();
        if (!waitFor([&] { return textShown(window->editor()); })) {
            fmt::print(stderr, "the editor never showed the text\n");
            return 1;
        }
        (run == 0 ? firstOpen : opens.emplace_back()) = msSince(start);
        if (run == 0) {
            memoryGrowth = familyResidentMB() - memoryBefore;
        }
        window->close();
        // The closed page's checker may still be running in the shared page process.
        waitFor([] { return false; }, std::chrono::milliseconds(1500));
    }

    // Reference: the same text in a plain text widget, until it is painted.
    std::vector<double> plainOpens;
    double plainGrowth = 0;
    for (int run = 0; run <= runs; ++run) {
        const double before = familyResidentMB();
        const Clock::time_point start = Clock::now();
        auto plain = std::make_unique<QPlainTextEdit>();
        plain->resize(900, 640);
        plain->setPlainText(QString::fromStdString(code));
        plain->show();
        plain->grab();
        const double ms = msSince(start);
        if (run == 0) {
            plainGrowth = familyResidentMB() - before;
        } else {
            plainOpens.push_back(ms);
        }
    }

    // A keystroke until the host's copy of the library gives the new CSS.
    auto compiler = std::make_shared<gui::PreviewCompiler>();
    auto preview = std::make_shared<LivePreview>(
        session.store().databaseFile().parent_path(),
        [compiler](styleContainer& s) { return compiler->compile(s); });
    NullReporter quietHost;
    CachedLibrary host(session.store().databaseFile().parent_path(), quietHost);
    (void)host.current();
    std::atomic<int> seen{-1};
    auto listener = WormholeListener::start(
        session.store().databaseFile().parent_path(), kStylePreview, [&](const std::string& bytes) {
            host.setPreviews(livePreviews(bytes));
            const std::string css = host.current()->pageCSS("https://example.org/", false);
            const std::size_t mark = css.find("/* key ");
            if (mark != std::string::npos) {
                seen = std::stoi(css.substr(mark + 7));
            }
        });
    auto* window = new gui::StyleEditorWindow(session, prompter, style, preview);
    window->show();
    waitFor([&] { return textShown(window->editor()); });
    std::vector<double> keystrokes;
    for (int key = 0; key < 15; ++key) {
        const Clock::time_point start = Clock::now();
        window->editor().run(
            QString::fromStdString("editor.navigateFileStart(); editor.insert(\"/* key " +
                                   std::to_string(key) + " */\");"));
        if (!waitFor([&] { return seen.load() == key; }, std::chrono::seconds(20))) {
            fmt::print(stderr, "the preview never reached the host\n");
            return 1;
        }
        keystrokes.push_back(msSince(start));
        // The next key starts from the text the editor has now.
        window->editor().run(QStringLiteral("editor.undo();"));
        waitFor([] { return false; }, std::chrono::milliseconds(300));
    }
    window->close();
    listener.value().reset();

    fmt::print("| | editor | plain text widget (reference) |\n|---|---|---|\n");
    fmt::print("| open 1 MB style, first window | {:.0f} ms | |\n", firstOpen);
    fmt::print("| open 1 MB style, later windows | {} | {} |\n", shown(spread(opens)),
               shown(spread(plainOpens)));
    fmt::print("| memory of one open window | {:.0f} MB | {:.0f} MB |\n", memoryGrowth,
               plainGrowth);
    fmt::print("| keystroke to CSS at the host ({} ms pause included) | {} | |\n",
               gui::kPreviewPause.count(), shown(spread(keystrokes)));
    std::filesystem::remove_all(home);
    return 0;
}
