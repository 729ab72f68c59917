// Switching styles on and off in one library from several processes at once, each change a
// transaction of the store (the library's lock, the file read again when another process wrote
// it, the change, the atomic write and the change notice).
//
//   library_toggle_bench --library FILE --processes P --toggles N
//
// Copies FILE into a fresh folder, starts P processes that each switch their own style N times,
// and prints, in key=value lines: the wall time, the toggles per second, each toggle's latency
// (median, 90th and 99th percentile over all processes), and how many changes the file lost
// (each process's last switch must be in the file).

#include <fmt/format.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "model/notification_center.h"
#include "model/record_json.h"
#include "model/reporter.h"
#include "model/style_store.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string library;
    int processes = 4;
    int toggles = 250;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view arg = argv[i];
        if (arg == "--library") {
            o.library = argv[i + 1];
        } else if (arg == "--processes") {
            o.processes = std::max(1, std::atoi(argv[i + 1]));
        } else if (arg == "--toggles") {
            o.toggles = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    if (o.library.empty()) {
        std::fprintf(stderr,
                     "usage: library_toggle_bench --library FILE [--processes P] "
                     "[--toggles N]\n");
        std::exit(2);
    }
    return o;
}

// One process: switches `id` N times and writes each toggle's latency in microseconds to `out`.
int worker(const std::filesystem::path& container, std::int64_t id, int toggles,
           const std::filesystem::path& out) {
    orlavine::StderrReporter reporter;
    orlavine::NotificationCenter notifications;
    orlavine::StyleStore store({container, &reporter, &notifications});
    std::ofstream latencies(out);
    for (int i = 0; i < toggles; ++i) {
        const auto start = Clock::now();
        if (!store.setEnabled(id, i % 2 == 0)) {
            return 1;
        }
        latencies
            << std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count()
            << "\n";
    }
    return 0;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    const std::filesystem::path work =
        std::filesystem::temp_directory_path() / fmt::format("toggle-bench-{}", ::getpid());
    std::filesystem::create_directories(work);
    const std::filesystem::path file = work / "styledb.sdb";
    std::filesystem::copy_file(o.library, file);
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto db = orlavine::decodeDatabase(text);
    if (!db || db->styles.size() < static_cast<std::size_t>(o.processes)) {
        std::fprintf(stderr, "library_toggle_bench: the library needs %d styles\n", o.processes);
        return 1;
    }

    const auto start = Clock::now();
    std::vector<pid_t> children;
    for (int p = 0; p < o.processes; ++p) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            std::_Exit(worker(work, db->styles[static_cast<std::size_t>(p)].uniqueID, o.toggles,
                              work / fmt::format("latency-{}", p)));
        }
        children.push_back(pid);
    }
    bool failed = false;
    for (const pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        failed = failed || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    }
    const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();

    std::vector<double> latencies;
    for (int p = 0; p < o.processes; ++p) {
        std::ifstream lines(work / fmt::format("latency-{}", p));
        for (double us = 0; lines >> us;) {
            latencies.push_back(us / 1000.0);
        }
    }
    std::ifstream after(file, std::ios::binary);
    const std::string finalText((std::istreambuf_iterator<char>(after)),
                                std::istreambuf_iterator<char>());
    const auto finalDb = orlavine::decodeDatabase(finalText);
    int lost = 0;
    for (int p = 0; p < o.processes; ++p) {
        // The last switch of each process set the style on when N is odd, off when even.
        const bool expected = (o.toggles - 1) % 2 == 0;
        lost += !finalDb || finalDb->styles[static_cast<std::size_t>(p)].isEnabled != expected;
    }
    std::filesystem::remove_all(work);
    if (failed || latencies.empty()) {
        std::fprintf(stderr, "library_toggle_bench: a worker failed\n");
        return 1;
    }
    const double total = static_cast<double>(o.processes) * o.toggles;
    fmt::print("processes={}\ntoggles={}\nwall_ms={:.1f}\nper_second={:.1f}\n", o.processes,
               o.processes * o.toggles, wallMs, total / (wallMs / 1000.0));
    fmt::print("latency_p50_ms={:.3f}\nlatency_p90_ms={:.3f}\nlatency_p99_ms={:.3f}\nlost={}\n",
               percentile(latencies, 0.5), percentile(latencies, 0.9), percentile(latencies, 0.99),
               lost);
    return 0;
}
