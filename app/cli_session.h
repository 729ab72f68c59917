#pragma once
// What a subcommand works with: the shared session, with a reporter that prints.

#include <atomic>
#include <string>
#include <string_view>

#include "model/reporter.h"
#include "preprocess/style_preprocessor.h"
#include "session/session.h"

namespace orlavine {

// Prints like StderrReporter and remembers whether any alert was shown, so that a command whose
// save failed ends with a failure status. The Sass warning is only a warning: the style is kept
// and the command succeeds.
class CommandLineReporter : public Reporter {
  public:
    void consoleLine(std::string_view line) override { out_.consoleLine(line); }
    void showAlert(std::string_view message, std::string_view informative) override {
        if (message == kSassAlertMessage) {
            out_.consoleLine("Warning: " + std::string(message) + ": " + std::string(informative));
            return;
        }
        alerted_ = true;
        out_.showAlert(message, informative);
    }
    bool alerted() const { return alerted_; }

  private:
    StderrReporter out_;
    std::atomic<bool> alerted_{false};
};

// Holds the reporter so that it is built before the session that reports through it.
struct CommandLineReporterHolder {
    CommandLineReporter commandLineReporter;
};

class CliSession : private CommandLineReporterHolder, public Session {
  public:
    // `readLibraryLater`: see Session::Options.
    explicit CliSession(bool readLibraryLater = false)
        : Session(commandLineReporter, optionsReadingLater(readLibraryLater)) {}

    CommandLineReporter& reporter() { return commandLineReporter; }
    // False when an alert (a failed write among them) was shown.
    bool finish() const { return !commandLineReporter.alerted(); }

  private:
    static Options optionsReadingLater(bool later) {
        Options options = defaultOptions();
        options.readLibraryLater = later;
        return options;
    }
};

}  // namespace orlavine
