#pragma once
// The style documents written for these tests (tests/data/usercss) and small helpers to build
// sections in expectations.

#include <filesystem>
#include <string>
#include <vector>

#include "model/records.h"
#include "support/test_support.h"

namespace orlavine::testing {

inline std::filesystem::path usercssFixture(const std::string& name) {
    return std::filesystem::path(ORLAVINE_TEST_DATA) / "usercss" / name;
}

inline std::string readFixture(const std::string& name) {
    return readText(usercssFixture(name));
}

inline std::vector<std::string> allUsercssFixtures() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(ORLAVINE_TEST_DATA) / "usercss")) {
        const std::string name = entry.path().filename().string();
        if (name.front() != '.') {
            names.push_back(name);
        }
    }
    return names;
}

struct Rules {
    std::vector<std::string> domains = {};
    std::vector<std::string> urls = {};
    std::vector<std::string> urlPrefixes = {};
    std::vector<std::string> regexps = {};
};

inline styleSection section(const Rules& rules, std::string code) {
    styleSection s;
    s.domains = rules.domains;
    s.urls = rules.urls;
    s.urlPrefixes = rules.urlPrefixes;
    s.regexps = rules.regexps;
    s.code = std::move(code);
    return s;
}

inline styleSection bare(std::string code) {
    return section({}, std::move(code));
}

}  // namespace orlavine::testing
