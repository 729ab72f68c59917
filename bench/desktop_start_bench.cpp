// The desktop program with a library of 100, 1,000 and 10,000 styles: the time from the
// program's start (the library file already written) to the list's first paint (the window up,
// the library perhaps still being read) and to the first paint that shows the library's rows,
// the memory held then, the time to draw one page of scrolling, and a toggle until the file is
// written and the change notice sent. Each size runs in a process of its own, on Qt's offscreen
// platform.

#include <fmt/format.h>

#include <QApplication>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "app/gui/desktop_app.h"
#include "library_generator.h"
#include "model/record_json.h"
#include "window_bench_support.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

double residentMB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:")) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

// Notes the list's first paint (rows or not) and the first that shows the library's rows, and
// then ends the event loop.
class PaintWatch : public QObject {
  public:
    explicit PaintWatch(const orlavine::gui::StyleListController& list) : list_(list) {}
    std::optional<Clock::time_point> firstPaint;
    std::optional<Clock::time_point> listPainted;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Paint) {
            return false;
        }
        if (!firstPaint) {
            firstPaint = Clock::now();
        }
        if (list_.isLoaded() && !listPainted) {
            listPainted = Clock::now();
            QTimer::singleShot(0, qApp, &QApplication::quit);
        }
        return false;
    }

  private:
    const orlavine::gui::StyleListController& list_;
};

// `readFirst`: the library is read before the window is made, as the command line reads it.
int measure(std::size_t styles, bool readFirst) {
    const std::filesystem::path home = orlavine::bench::makeBenchHome();
    {
        orlavine::bench::LibraryShape shape;
        shape.styles = styles;
        shape.largeStyles = styles / 200;
        std::ofstream(home / "data" / "styledb.sdb")
            << orlavine::encodeDatabase(orlavine::bench::generateLibrary(shape));
    }
    const Clock::time_point start = Clock::now();
    int argc = 1;
    char name[] = "desktop_start_bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    orlavine::bench::SilentPrompter prompter;
    orlavine::StderrReporter reporter;
    orlavine::Session::Options options = orlavine::gui::desktopSessionOptions();
    options.readLibraryLater = !readFirst;
    orlavine::Session session(reporter, options);
    {
        orlavine::gui::DesktopApp desktop(session, prompter);
        PaintWatch watch(desktop.list());
        QTreeView& view = desktop.window().view();
        view.viewport()->installEventFilter(&watch);
        desktop.window().show();
        QApplication::exec();
        const double windowMs =
            std::chrono::duration<double, std::milli>(*watch.firstPaint - start).count();
        const double listMs =
            std::chrono::duration<double, std::milli>(*watch.listPainted - start).count();
        const double rss = residentMB();

        // One page down at a time, each drawn at once.
        QScrollBar* bar = view.verticalScrollBar();
        const int pages = 50;
        const Clock::time_point scrollStart = Clock::now();
        for (int i = 0; i < pages; ++i) {
            bar->setValue(bar->value() + bar->pageStep());
            view.viewport()->grab();
        }
        const double scrollMs = msSince(scrollStart) / pages;

        const std::int64_t id = session.store().snapshot().styles.at(styles / 2).uniqueID;
        const int toggles = 10;
        const Clock::time_point toggleStart = Clock::now();
        for (int i = 0; i < toggles; ++i) {
            desktop.list().toggle(id, i % 2 == 1);
        }
        const double toggleMs = msSince(toggleStart) / toggles;
        fmt::print("| {:>6} | {:.0f} ms | {:.0f} ms | {:.0f} MB | {:.2f} ms | {:.1f} ms |\n",
                   styles, windowMs, listMs, rss, scrollMs, toggleMs);
    }
    std::filesystem::remove_all(home);
    return 0;
}

}  // namespace

// --read-first: the library read before the window is made, for comparison.
int main(int argc, char** argv) {
    const bool readFirst = argc > 1 && std::string(argv[argc - 1]) == "--read-first";
    if (argc >= 3 && std::string(argv[1]) == "--styles") {
        return measure(std::stoul(argv[2]), readFirst);
    }
    fmt::print(
        "| styles | start to painted window | start to painted list | memory | scroll a page | "
        "toggle, written and sent |\n|---|---|---|---|---|---|\n");
    std::fflush(stdout);
    for (const char* styles : {"100", "1000", "10000"}) {
        const std::string command =
            fmt::format("'{}' --styles {}{}", argv[0], styles, readFirst ? " --read-first" : "");
        if (std::system(command.c_str()) != 0) {
            return 1;
        }
    }
    return 0;
}
