#pragma once
// Where the store and the other core parts send what the user should learn: console lines for
// work the user did not start, and alerts (a message and an informative text) for failures the
// user can act on. The command line prints both; the desktop shows alerts as dialogs.

#include <mutex>
#include <string>
#include <string_view>

namespace orlavine {

class Reporter {
  public:
    virtual ~Reporter() = default;
    virtual void consoleLine(std::string_view line) = 0;
    // Shows a warning with one "OK" button. Returns at once; safe from any thread.
    virtual void showAlert(std::string_view message, std::string_view informative) = 0;
};

// Writes console lines and alerts to standard error, one whole line at a time.
class StderrReporter : public Reporter {
  public:
    void consoleLine(std::string_view line) override;
    void showAlert(std::string_view message, std::string_view informative) override;

  private:
    std::mutex mutex_;
};

}  // namespace orlavine
