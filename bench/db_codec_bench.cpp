// Decoding and encoding a whole style library: throughput and peak memory.
//
//   db_codec_bench                  generate the library, time it, report
//   db_codec_bench --write PATH     write the generated library to PATH and stop
//   db_codec_bench --file PATH      time the library held in PATH
//   db_codec_bench --file PATH --outline-only   time only reading its outline, with the spread
//
// Options: --reps N (timed runs, default 15), --warmup N (untimed runs first, default 2),
// --machine (key=value lines for scripts instead of the report).
// The peak memory of decoding and of encoding is taken each in a fresh child process
// (--peak decode|encode --file PATH), so one does not hide the other and the timing loops'
// garbage does not count.

#include <benchmark/benchmark.h>
#include <fmt/core.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/library_generator.h"
#include "model/library_outline.h"
#include "model/record_json.h"

extern char** environ;

namespace {

using orlavine::decodeDatabase;
using orlavine::encodeDatabase;
using Clock = std::chrono::steady_clock;

struct Options {
    std::optional<std::string> write;
    std::optional<std::string> file;
    std::optional<std::string> peak;
    int reps = 15;
    int warmup = 2;
    bool machine = false;
    bool outlineOnly = false;
    std::size_t styles = 0;  // 0: the generator's default library
};

[[noreturn]] void usage(const char* why) {
    std::fprintf(stderr,
                 "db_codec_bench: %s\n"
                 "usage: db_codec_bench [--write PATH [--styles N] | --file PATH [--outline-only]] "
                 "[--reps N] [--warmup N] [--machine]\n",
                 why);
    std::exit(2);
}

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                usage("an option lacks its value");
            }
            return argv[++i];
        };
        if (arg == "--write") {
            o.write = value();
        } else if (arg == "--file") {
            o.file = value();
        } else if (arg == "--peak") {
            o.peak = value();
        } else if (arg == "--reps") {
            o.reps = std::max(1, std::atoi(value().c_str()));
        } else if (arg == "--warmup") {
            o.warmup = std::max(0, std::atoi(value().c_str()));
        } else if (arg == "--machine") {
            o.machine = true;
        } else if (arg == "--outline-only") {
            o.outlineOnly = true;
        } else if (arg == "--styles") {
            o.styles = static_cast<std::size_t>(std::max(1, std::atoi(value().c_str())));
        } else {
            usage("unknown option");
        }
    }
    return o;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "db_codec_bench: cannot read %s\n", path.c_str());
        std::exit(1);
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "db_codec_bench: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

// The generated library; `styles` other than 0 scales it, keeping one large theme in 200.
std::string generatedText(std::size_t styles = 0) {
    orlavine::bench::LibraryShape shape;
    if (styles != 0) {
        shape.styles = styles;
        shape.largeStyles = styles / 200;
    }
    return encodeDatabase(orlavine::bench::generateLibrary(shape));
}

// ---- memory ----

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"), or -1.
long statusKiB(std::string_view field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, field.size(), field) == 0 && line.size() > field.size() &&
            line[field.size()] == ':') {
            return std::atol(line.c_str() + field.size() + 1);
        }
    }
    return -1;
}

long maxRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Resets the kernel's high-water mark of this process's resident memory, so the next peak
// reading covers only what follows. False where the kernel does not allow it.
bool resetPeak() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return static_cast<bool>(out);
}

// The child's side: one decode or one encode, and the memory it took.
int measurePeak(const Options& o) {
    if (!o.file) {
        usage("--peak needs --file");
    }
    const std::string text = readFile(*o.file);
    std::optional<orlavine::styleDatabase> db;
    if (*o.peak == "encode") {
        auto decoded = decodeDatabase(text);
        if (!decoded) {
            std::fprintf(stderr, "decode failed: %s\n", decoded.error().c_str());
            return 1;
        }
        db = std::move(decoded.value());
    } else if (*o.peak != "decode") {
        usage("--peak takes decode or encode");
    }
    const bool reset = resetPeak();
    const long before = reset ? statusKiB("VmRSS") : maxRssKiB();
    std::size_t size = 0;
    if (db) {
        const std::string out = encodeDatabase(*db);
        benchmark::DoNotOptimize(out.data());
        size = out.size();
    } else {
        auto decoded = decodeDatabase(text);
        if (!decoded) {
            std::fprintf(stderr, "decode failed: %s\n", decoded.error().c_str());
            return 1;
        }
        size = decoded->styles.size();
    }
    const long peak = reset ? statusKiB("VmHWM") : maxRssKiB();
    std::printf("peak_kib=%ld\nbefore_kib=%ld\nsize=%zu\n", peak, before, size);
    return 0;
}

// Runs this program again with `args` and returns what it printed as key=value pairs.
std::map<std::string, long> runChild(const std::vector<std::string>& args) {
    std::vector<std::string> full = {"/proc/self/exe"};
    full.insert(full.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : full) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    int fds[2];
    if (pipe(fds) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) {
        output.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (rc != 0) {
        return {};
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::map<std::string, long> values;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return values;
    }
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) {
            values[line.substr(0, eq)] = std::atol(line.c_str() + eq + 1);
        }
    }
    return values;
}

// ---- timing ----

// Milliseconds of this process's CPU time: all its threads' (reading a large outline takes two).
// Steadier than the wall clock when other programs compete for the cores.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// One timed run: wall-clock and CPU milliseconds.
struct Lap {
    double wallMs = 0;
    double cpuMs = 0;
};

class Stopwatch {
  public:
    Stopwatch() : wall_(Clock::now()), cpu_(cpuMs()) {}
    Lap lap() const {
        const double cpu = cpuMs() - cpu_;
        return Lap{std::chrono::duration<double, std::milli>(Clock::now() - wall_).count(), cpu};
    }

  private:
    Clock::time_point wall_;
    double cpu_;
};

struct Timing {
    double medianMs = 0;
    double minMs = 0;
    double medianCpuMs = 0;
    double maxMs = 0;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs `once` (which returns the Lap it measured) warmup + reps times; the figures cover the
// timed runs only.
template <class F>
Timing timeRuns(const Options& o, F&& once) {
    for (int i = 0; i < o.warmup; ++i) {
        once();
    }
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < o.reps; ++i) {
        const Lap lap = once();
        wall.push_back(lap.wallMs);
        cpu.push_back(lap.cpuMs);
    }
    return Timing{median(wall), *std::min_element(wall.begin(), wall.end()), median(cpu),
                  *std::max_element(wall.begin(), wall.end())};
}

double mebibytes(long kib) {
    return static_cast<double>(kib) / 1024.0;
}

double megabytesPerSecond(std::size_t bytes, double ms) {
    return static_cast<double>(bytes) / 1e6 / (ms / 1000.0);
}

Timing timeOutline(const Options& o, const std::shared_ptr<const std::string>& shared) {
    return timeRuns(o, [&] {
        const Stopwatch watch;
        auto result = orlavine::LibraryOutline::read(shared);
        const Lap lap = watch.lap();
        benchmark::DoNotOptimize(result);
        return lap;
    });
}

int timeFile(const Options& o, const std::string& path) {
    const std::string text = readFile(path);
    if (o.outlineOnly) {
        const auto shared = std::make_shared<const std::string>(text);
        if (!orlavine::LibraryOutline::read(shared)) {
            std::fprintf(stderr, "db_codec_bench: %s has no outline\n", path.c_str());
            return 1;
        }
        const Timing outline = timeOutline(o, shared);
        fmt::print(
            "outline median {:.2f} ms  min {:.2f} ms  max {:.2f} ms  CPU {:.2f} ms ({} runs)\n",
            outline.medianMs, outline.minMs, outline.maxMs, outline.medianCpuMs, o.reps);
        return 0;
    }

    auto check = decodeDatabase(text);
    if (!check) {
        std::fprintf(stderr, "db_codec_bench: %s does not decode: %s\n", path.c_str(),
                     check.error().c_str());
        return 1;
    }
    const orlavine::styleDatabase db = std::move(check.value());
    const bool roundTrips = encodeDatabase(db) == text;

    // Each decode's result is destroyed after the clock stops: freeing is not decoding.
    const Timing decode = timeRuns(o, [&] {
        const Stopwatch watch;
        auto result = decodeDatabase(text);
        const Lap lap = watch.lap();
        benchmark::DoNotOptimize(result);
        return lap;
    });
    // The outline: what the command line and the store read first (the code stays undecoded).
    const auto shared = std::make_shared<const std::string>(text);
    const Timing outline = timeOutline(o, shared);
    // The outline with the code texts left unchecked until they are decoded: what the strict
    // read above costs over finding where each code text ends.
    const Timing outlineUnchecked = timeRuns(o, [&] {
        const Stopwatch watch;
        auto result =
            orlavine::LibraryOutline::read(shared, orlavine::LibraryOutline::CodeCheck::onDecode);
        const Lap lap = watch.lap();
        benchmark::DoNotOptimize(result);
        return lap;
    });
    // The outline and then every style's code: a whole decode by way of the outline.
    const Timing outlineAll = timeRuns(o, [&] {
        const Stopwatch watch;
        auto result = orlavine::LibraryOutline::read(shared);
        result->first.decodeCode(result->second);
        const Lap lap = watch.lap();
        benchmark::DoNotOptimize(result);
        return lap;
    });
    const Timing encode = timeRuns(o, [&] {
        const Stopwatch watch;
        std::string out = encodeDatabase(db);
        const Lap lap = watch.lap();
        benchmark::DoNotOptimize(out.data());
        return lap;
    });

    auto decodePeak = runChild({"--peak", "decode", "--file", path});
    auto encodePeak = runChild({"--peak", "encode", "--file", path});
    auto peak = [](std::map<std::string, long>& m) {
        return m.count("peak_kib") ? m["peak_kib"] : -1;
    };
    auto growth = [](std::map<std::string, long>& m) {
        return m.count("peak_kib") ? m["peak_kib"] - m["before_kib"] : -1;
    };

    const double decodeRate = megabytesPerSecond(text.size(), decode.medianMs);
    const double encodeRate = megabytesPerSecond(text.size(), encode.medianMs);
    if (o.machine) {
        fmt::print("bytes={}\nstyles={}\nround_trip={}\n", text.size(), db.styles.size(),
                   roundTrips ? 1 : 0);
        fmt::print("decode_ms={:.2f}\ndecode_min_ms={:.2f}\ndecode_cpu_ms={:.2f}\n",
                   decode.medianMs, decode.minMs, decode.medianCpuMs);
        fmt::print("decode_mbps={:.1f}\n", decodeRate);
        fmt::print("decode_peak_kib={}\ndecode_growth_kib={}\n", peak(decodePeak),
                   growth(decodePeak));
        fmt::print("outline_ms={:.2f}\noutline_min_ms={:.2f}\n", outline.medianMs, outline.minMs);
        fmt::print("outline_unchecked_ms={:.2f}\noutline_unchecked_min_ms={:.2f}\n",
                   outlineUnchecked.medianMs, outlineUnchecked.minMs);
        fmt::print("outline_all_ms={:.2f}\n", outlineAll.medianMs);
        fmt::print("encode_ms={:.2f}\nencode_min_ms={:.2f}\nencode_cpu_ms={:.2f}\n",
                   encode.medianMs, encode.minMs, encode.medianCpuMs);
        fmt::print("encode_mbps={:.1f}\n", encodeRate);
        fmt::print("encode_peak_kib={}\nencode_growth_kib={}\n", peak(encodePeak),
                   growth(encodePeak));
        return 0;
    }
    fmt::print("library: {} styles, {:.1f} MB ({})\n", db.styles.size(),
               static_cast<double>(text.size()) / 1e6, path);
    fmt::print("runs: {} timed after {} untimed; MB = 10^6 bytes of the file\n", o.reps, o.warmup);
    fmt::print(
        "decode  median {:8.2f} ms  min {:8.2f} ms  CPU {:8.2f} ms  {:7.1f} MB/s  peak RSS "
        "{:6.1f} MiB (+{:.1f} MiB over the text)\n",
        decode.medianMs, decode.minMs, decode.medianCpuMs, decodeRate, mebibytes(peak(decodePeak)),
        mebibytes(growth(decodePeak)));
    fmt::print("outline median {:8.2f} ms  min {:8.2f} ms  CPU {:8.2f} ms  {:7.1f} MB/s\n",
               outline.medianMs, outline.minMs, outline.medianCpuMs,
               megabytesPerSecond(text.size(), outline.medianMs));
    fmt::print("outline, code unchecked: median {:8.2f} ms  min {:8.2f} ms  {:7.1f} MB/s\n",
               outlineUnchecked.medianMs, outlineUnchecked.minMs,
               megabytesPerSecond(text.size(), outlineUnchecked.medianMs));
    fmt::print("outline and then all code: median {:8.2f} ms  CPU {:8.2f} ms\n",
               outlineAll.medianMs, outlineAll.medianCpuMs);
    fmt::print(
        "encode  median {:8.2f} ms  min {:8.2f} ms  CPU {:8.2f} ms  {:7.1f} MB/s  peak RSS "
        "{:6.1f} MiB (+{:.1f} MiB over the records)\n",
        encode.medianMs, encode.minMs, encode.medianCpuMs, encodeRate, mebibytes(peak(encodePeak)),
        mebibytes(growth(encodePeak)));
    if (!roundTrips) {
        fmt::print("note: re-encoding the file does not give the same bytes\n");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parseOptions(argc, argv);
    if (o.peak) {
        return measurePeak(o);
    }
    if (o.write) {
        const std::string text = generatedText(o.styles);
        writeFile(*o.write, text);
        if (!o.machine) {
            fmt::print("wrote {} bytes to {}\n", text.size(), *o.write);
        }
        return 0;
    }
    if (o.file) {
        return timeFile(o, *o.file);
    }
    // No file given: make one in the temporary folder and remove it afterwards.
    std::string path = (std::filesystem::temp_directory_path() / "db_codec_bench-XXXXXX").string();
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        std::perror("db_codec_bench: mkstemp");
        return 1;
    }
    close(fd);
    writeFile(path, generatedText());
    const int rc = timeFile(o, path);
    std::filesystem::remove(path);
    return rc;
}
