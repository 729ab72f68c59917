#pragma once
// What a subcommand works with: the library store, the settings and a reporter that prints.

#include <atomic>
#include <memory>
#include <string_view>

#include "model/notification_center.h"
#include "model/reporter.h"
#include "model/settings_store.h"
#include "model/style_store.h"
#include "net/web_download.h"
#include "preprocess/compiler_errors.h"
#include "preprocess/less_imports.h"
#include "preprocess/style_preprocessor.h"

namespace orlavine {

// Prints like StderrReporter and remembers whether any alert was shown, so that a command whose
// save failed ends with a failure status.
class CommandLineReporter : public Reporter {
  public:
    void consoleLine(std::string_view line) override { out_.consoleLine(line); }
    void showAlert(std::string_view message, std::string_view informative) override {
        alerted_ = true;
        out_.showAlert(message, informative);
    }
    bool alerted() const { return alerted_; }

  private:
    StderrReporter out_;
    std::atomic<bool> alerted_{false};
};

class CliSession {
  public:
    CliSession();
    // Waits for pending writes.
    ~CliSession();

    StyleStore& store() { return *store_; }
    SettingsStores& settings() { return settings_; }
    CommandLineReporter& reporter() { return reporter_; }
    // Compiles Less and Stylus and substitutes variables; the store runs it on every save of an
    // edited style, and readers of new styles take it as their compiler.
    StyleCompiler& compiler() { return *preprocessor_; }
    const ConsoleCompilerErrors& compilerErrors() const { return compilerErrors_; }
    // Every download of the command goes through this one, so its per-host bound holds.
    Downloader& downloader() { return *downloader_; }
    NotificationCenter& notifications() { return notifications_; }

    // Waits for the library file to be written; false when a write failed.
    bool finish();

  private:
    CommandLineReporter reporter_;
    NotificationCenter notifications_;
    SettingsStores settings_;
    ConsoleCompilerErrors compilerErrors_{reporter_};
    std::unique_ptr<Downloader> downloader_;
    std::unique_ptr<CachedHttpImports> lessImports_;
    std::unique_ptr<StylePreprocessor> preprocessor_;
    std::unique_ptr<StyleStore> store_;
};

}  // namespace orlavine
