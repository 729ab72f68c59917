#include "support/test_support.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace orlavine::testing {

TempDir::TempDir() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("orlavine-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable before removing.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
}

IsolatedHome::IsolatedHome() {
    const std::pair<const char*, std::filesystem::path> vars[] = {
        {"ORLAVINE_HOME", data()},
        {"ORLAVINE_CONFIG", config()},
        {"XDG_DATA_HOME", root_.path() / "xdg-data"},
        {"XDG_CONFIG_HOME", root_.path() / "xdg-config"},
        {"XDG_CACHE_HOME", root_.path() / "xdg-cache"},
        {"ORLAVINE_COLOR_SCHEME", ""},
    };
    for (const auto& [name, value] : vars) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value.empty()) {
            unsetenv(name);
        } else {
            setenv(name, value.c_str(), 1);
        }
    }
}

IsolatedHome::~IsolatedHome() {
    for (const auto& [name, old] : saved_) {
        if (old) {
            setenv(name.c_str(), old->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
}

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeText(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}

styleContainer sampleStyle(std::int64_t uniqueID, const std::string& name) {
    styleContainer s;
    s.uniqueID = uniqueID;
    s.styleData.name = name;
    styleSection section;
    section.domains = {"example.com"};
    section.code = "body { color: red; }";
    s.styleData.sections.push_back(section);
    s.source = "custom";
    s.userstyleID = -1;
    s.allowIframe = true;
    s.userVariables = std::vector<userVariable>{};
    s.dateModified = Date{700000000.5};
    return s;
}

}  // namespace orlavine::testing
