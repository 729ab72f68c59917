#pragma once
// Shared helpers of the test programs: temporary folders that stand in for the user's data,
// configuration and cache folders, so no test ever touches a real library.

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/records.h"
#include "model/reporter.h"

namespace orlavine::testing {

// A fresh folder under the system's temporary folder, removed with its content at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// Points ORLAVINE_HOME, ORLAVINE_CONFIG and the XDG folders at a temporary folder for the
// lifetime of the object, and puts the old values back afterwards.
class IsolatedHome {
  public:
    IsolatedHome();
    ~IsolatedHome();
    IsolatedHome(const IsolatedHome&) = delete;
    IsolatedHome& operator=(const IsolatedHome&) = delete;

    std::filesystem::path data() const { return root_.path() / "data"; }
    std::filesystem::path config() const { return root_.path() / "config"; }

  private:
    TempDir root_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

std::string readText(const std::filesystem::path& file);
void writeText(const std::filesystem::path& file, const std::string& text);

// A reporter for tests that do not look at what is reported.
class QuietReporter : public Reporter {
  public:
    void consoleLine(std::string_view) override {}
    void showAlert(std::string_view, std::string_view) override {}
};

// A small style with one section, for tests that need a realistic record.
styleContainer sampleStyle(std::int64_t uniqueID, const std::string& name);

}  // namespace orlavine::testing
