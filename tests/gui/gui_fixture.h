#pragma once
// What the desktop tests share: a library in temporary folders, and a prompter that records
// alerts and answers questions from a script, so no test waits on a modal loop.

#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/gui/prompter.h"
#include "library/library_services.h"
#include "session/session.h"
#include "support/test_support.h"

namespace orlavine::testing {

class ScriptedPrompter : public gui::Prompter {
  public:
    void alert(const QString& message, const QString&) override {
        alerts << message;
        log << message;
    }
    bool confirm(const QString& message, const QString&) override {
        questions << message;
        log << message;
        if (answers.empty()) {
            return false;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void beep() override { ++beeps; }
    Choice choose(const QString& message, const QString&, const QStringList&) override {
        questions << message;
        log << message;
        if (choices.empty()) {
            return Choice{1, false};
        }
        const int button = choices.front();
        choices.pop_front();
        return Choice{button, false};
    }

    QString saveFile(const QString& title, const QString& proposedName,
                     const QStringList&) override {
        panels << title + ": " + proposedName;
        return savePath;
    }
    QString openFile(const QString& title, const QStringList&) override {
        panels << title;
        return openPath;
    }
    QString chooseFolder(const QString& title) override {
        panels << title;
        return folderPath;
    }
    QColor chooseColour(const QColor& initial, const QString& title) override {
        panels << title;
        shownColour = initial;
        return colour;
    }

    QStringList alerts;
    QStringList questions;
    QStringList panels;        // title and proposed name of each save panel
    QString savePath;          // what the save panels answer; empty cancels
    QString openPath;          // what the open panels answer; empty cancels
    QString folderPath;        // what the folder panels answer; empty cancels
    QColor colour;             // what the colour panels answer; invalid cancels
    QColor shownColour;        // the colour the last colour panel started at
    std::deque<int> choices;   // for choose, in order; button 1 when none is left
    QStringList log;           // alerts and questions, in order
    std::deque<bool> answers;  // for confirm, in order; "No" when none is left
    int beeps = 0;
};

class RecordingReporter : public Reporter {
  public:
    void consoleLine(std::string_view) override {}
    void showAlert(std::string_view message, std::string_view) override {
        std::lock_guard lock(mutex_);
        alerts_.emplace_back(message);
    }

    std::vector<std::string> alerts() {
        std::lock_guard lock(mutex_);
        return alerts_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> alerts_;
};

// A session on a library of its own, with the styles `names` (uniqueIDs 1, 2, ...).
struct GuiFixture {
    // `configure` sets up the program's settings before the session reads them.
    explicit GuiFixture(const std::vector<std::string>& names = {},
                        const std::function<void(SettingsStore&)>& configure = {}) {
        if (configure) {
            SettingsStore app(home.config() / "app.json");
            configure(app);
        }
        std::filesystem::create_directories(home.data() / "run");
        std::filesystem::permissions(home.data() / "run", std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", (home.data() / "run").c_str(), 1);
        setenv("HOME", home.data().c_str(), 1);
        session = std::make_unique<Session>(reporter);
        std::int64_t id = 1;
        for (const std::string& name : names) {
            session->store().add(sampleStyle(id++, name));
        }
    }
    LibraryServices services() {
        return LibraryServices{session->store(), session->settings().app, reporter,
                               &session->notifications()};
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const styleContainer& s : session->store().snapshot().styles) {
            out.push_back(s.styleData.name);
        }
        return out;
    }

    IsolatedHome home;
    RecordingReporter reporter;
    std::unique_ptr<Session> session;
    ScriptedPrompter prompter;
};

}  // namespace orlavine::testing
