#pragma once
// For the benchmarks that drive real windows: a throw-away home on Qt's offscreen platform, and a
// prompter that answers every question at once ("No", or the button given for choices) and
// shows nothing.

#include <stdlib.h>

#include <filesystem>

#include "app/gui/prompter.h"

namespace orlavine::bench {

// A new temporary folder that the library, the settings, the caches and the runtime folder point
// into (with an empty data folder), and the offscreen platform chosen. The caller removes it.
inline std::filesystem::path makeBenchHome() {
    char pattern[] = "/tmp/orlavine-bench-XXXXXX";
    const std::filesystem::path home = mkdtemp(pattern);
    setenv("ORLAVINE_HOME", (home / "data").c_str(), 1);
    setenv("ORLAVINE_CONFIG", (home / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::filesystem::create_directories(home / "data");
    return home;
}

class SilentPrompter : public gui::Prompter {
  public:
    explicit SilentPrompter(int chosenButton = 0) : chosen_(chosenButton) {}
    void alert(const QString&, const QString&) override {}
    bool confirm(const QString&, const QString&) override { return false; }
    void beep() override {}
    Choice choose(const QString&, const QString&, const QStringList&) override {
        return {chosen_, false};
    }
    QString saveFile(const QString&, const QString&, const QStringList&) override { return {}; }
    QString openFile(const QString&, const QStringList&) override { return {}; }
    QString chooseFolder(const QString&) override { return {}; }
    QColor chooseColour(const QColor&, const QString&) override { return {}; }

  private:
    int chosen_;
};

}  // namespace orlavine::bench
