// Saves a library of a few megabytes over and over, for the crash-safety test to kill at random
// moments.
//
//   save_loop expected DIR   writes the two libraries it alternates between to DIR/a.sdb and
//                            DIR/b.sdb, then exits
//   save_loop                opens the library in ORLAVINE_HOME and saves the two libraries in
//                            turn until killed, printing "saved" after each finished save

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "model/notification_center.h"
#include "model/paths.h"
#include "model/record_json.h"
#include "model/reporter.h"
#include "model/style_store.h"

namespace {

using namespace orlavine;

constexpr int kStyles = 1200;
constexpr std::size_t kCodeBytes = 1200;

// One of the two libraries: the same shape, different names and code, about 3 MB encoded.
styleDatabase library(char variant) {
    styleDatabase db;
    for (int i = 0; i < kStyles; ++i) {
        styleContainer s;
        s.uniqueID = i + 1;
        s.styleData.name = std::string(1, variant) + " style " + std::to_string(i);
        for (int part = 0; part < 2; ++part) {
            styleSection section;
            section.domains = {"site" + std::to_string(i) + ".example"};
            section.code = "/* " + std::string(1, variant) + " */ body { color: #" +
                           std::to_string(i) + "; }\n" + std::string(kCodeBytes / 2, variant);
            s.styleData.sections.push_back(std::move(section));
        }
        s.source = "custom";
        s.isEnabled = (i % 3) != 0;
        s.allowIframe = true;
        s.userVariables = std::vector<userVariable>{};
        s.dateModified = Date{700000000.0 + i};
        db.styles.push_back(std::move(s));
    }
    return db;
}

int writeExpected(const std::filesystem::path& dir) {
    for (char variant : {'a', 'b'}) {
        const auto file = dir / (std::string(1, variant) + ".sdb");
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << encodeDatabase(library(variant));
        if (!out.flush()) {
            std::fprintf(stderr, "cannot write %s\n", file.c_str());
            return 1;
        }
    }
    return 0;
}

[[noreturn]] void saveForever() {
    StderrReporter reporter;
    NotificationCenter notifications;
    StyleStore store({sharedContainer(), &reporter, &notifications});
    const styleDatabase contents[2] = {library('a'), library('b')};
    for (std::uint64_t n = 0;; ++n) {
        const auto saved = store.change(
            [&](styleDatabase& db, LibraryChange& changed) {
                db = contents[n % 2];
                changed.everything = true;
                return true;
            },
            ChangeOrigin::received);
        if (!saved) {
            std::fprintf(stderr, "%s\n", saved.error().c_str());
            std::exit(1);
        }
        std::fputs("saved\n", stdout);
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "expected") {
        return writeExpected(argv[2]);
    }
    if (argc != 1) {
        std::fprintf(stderr, "usage: save_loop [expected DIR]\n");
        return 2;
    }
    saveForever();
}
