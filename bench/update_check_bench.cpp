// Checking a whole library row by row for updates, as the style list's update command does,
// against loopback HTTPS servers that answer every request after a fixed delay (50 ms). Every
// second style has a newer version on its server, so replacements and saves happen as in real
// use; the saved library is read back afterwards and must hold each of them.
//
// Figures, each the median of --reps runs, every run on a fresh library and fresh servers:
//   - the check of a library of one style (t1, a style with a newer version), and 200 × t1, what
//     checking one row after the other would take;
//   - A: 200 UserCSS styles spread evenly over 8 sites on 127.0.0.1 … 127.0.0.8, each its own host;
//   - B: 200 catalogue styles, all from the catalogue host.
// Concurrency is sampled every millisecond by a thread that adds up what all servers are handling
// at that moment; the sum of each server's own peak is shown next to it as an upper bound.
//
//   update_check_bench [--reps N] [--styles N] [--sites N] [--delay MS] [--singles N]
//
// --singles is how many one-style checks each run makes for t1 (5): t1 is their median over all
// runs, since one 50 ms check is easily disturbed by other work on the machine.

#include <fmt/core.h>
#include <boost/json/serialize.hpp>

#include <sys/resource.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "library/library_fixture.h"
#include "library/row_update_check.h"
#include "library/url_import.h"
#include "model/config.h"
#include "model/record_json.h"
#include "net/web_download.h"
#include "support/loopback_https.h"
#include "support/test_support.h"

namespace {

using namespace orlavine;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

enum class Kind { userCSS, catalogue };

// A web site on one loopback address that serves the documents put there, each answer after
// the delay in force.
class Site {
  public:
    explicit Site(const std::string& address) : address_(address), server_(address) {
        server_.server().Get(".*",
                             [this](const httplib::Request& request, httplib::Response& response) {
                                 std::string body;
                                 {
                                     std::lock_guard lock(mutex_);
                                     auto found = documents_.find(request.path);
                                     if (found == documents_.end()) {
                                         response.status = 404;
                                         return;
                                     }
                                     body = found->second;
                                 }
                                 server_.pause(milliseconds(delayMs_.load()));
                                 response.set_content(body, "text/css");
                             });
    }

    void serve(const std::string& path, std::string body) {
        std::lock_guard lock(mutex_);
        documents_[path] = std::move(body);
    }
    void slowDown(milliseconds delay) { delayMs_ = static_cast<int>(delay.count()); }

    // By the numeric address, so that no name is looked up ("localhost" may try ::1 first).
    std::string url(const std::string& path) const {
        return "https://" + address_ + ":" + std::to_string(server_.port()) + path;
    }
    testing::LoopbackHttpsServer& server() { return server_; }

  private:
    std::string address_;
    std::mutex mutex_;
    std::map<std::string, std::string> documents_;
    std::atomic<int> delayMs_{0};
    // Last, so that it stops before the documents go.
    testing::LoopbackHttpsServer server_;
};

// Why checks failed, from the checking threads at once.
class LockedReporter : public Reporter {
  public:
    void consoleLine(std::string_view line) override {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    }
    void showAlert(std::string_view message, std::string_view) override { consoleLine(message); }
    std::string first() const {
        std::lock_guard lock(mutex_);
        return lines_.empty() ? std::string() : lines_.front();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// A library in a temporary folder whose downloads trust the sites' certificates.
class Library : public testing::LibraryFixture {
  public:
    Library(const std::string& catalogueHost, const std::filesystem::path& certificates)
        : catalogueHost_(catalogueHost) {
        settings.app.set(kCatalogueHostKey, boost::json::value(catalogueHost));
        DownloadOptions options;
        options.certificateFile = certificates.string();
        options.limits.totalTimeout = std::chrono::seconds(10);
        options.limits.stallTimeout = std::chrono::seconds(5);
        downloader = std::make_unique<Downloader>(options);
    }

    LibraryServices webServices() {
        LibraryServices s = services();
        s.downloader = downloader.get();
        return s;
    }
    UpdateContext updateContext() {
        UpdateContext context;
        context.store = store.get();
        context.downloader = downloader.get();
        context.catalogueHost = catalogueHost_;
        context.console = &console;
        return context;
    }

    LockedReporter console;
    std::unique_ptr<Downloader> downloader;

  private:
    std::string catalogueHost_;
};

std::string userCSS(int n, bool newer) {
    return fmt::format(
        "/* ==UserStyle==\n@name Site style {0}\n@version {1}\n@namespace bench-{0}\n"
        "@var color accent \"Accent\" #336699\n==/UserStyle== */\n"
        "@-moz-document domain(\"site{0}.example\") {{\n"
        "  a {{ color: /*[[accent]]*/; }}\n  body {{ margin: {2}px; line-height: 1.4; }}\n}}\n",
        n, newer ? "1.1.0" : "1.0.0", newer ? 2 : 0);
}

styleJSON catalogueRecord(int n, bool newer, const std::string& updateUrl) {
    styleJSON record;
    record.name = fmt::format("Catalogue style {}", n);
    record.originalMd5 = fmt::format("md5-{}-{}", n, newer ? "b" : "a");
    record.updateUrl = updateUrl;
    styleSection section;
    section.domains = {fmt::format("site{}.example", n)};
    section.code = fmt::format("body {{ color: #333; margin: {}px }}", newer ? 2 : 0);
    record.sections.push_back(section);
    return record;
}

// User and system time of the whole process so far: the checks and the servers, both sides of
// every TLS handshake.
double processCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

struct Run {
    double wallMs = 0;
    double cpuMs = 0;     // of the whole process during the check
    int sampledPeak = 0;  // most requests handled at one moment, all servers together
    int sumOfPeaks = 0;   // each server's own peak, added up
    int serverPeak = 0;   // the highest peak of a single server
};

// Installs `styles` styles of `kind` spread evenly over `siteCount` sites (answered at once),
// serves a newer version of every second one, then times the row-by-row check of them all with
// every answer `delay` late, up to the library being written, and reads the saved library back.
// Throws with the reason when anything is not as expected.
Run runOnce(Kind kind, int styles, int siteCount, milliseconds delay) {
    std::vector<std::unique_ptr<Site>> sites;
    testing::TempDir certificates;
    std::string bundle;
    for (int i = 0; i < siteCount; ++i) {
        sites.push_back(std::make_unique<Site>(fmt::format("127.0.0.{}", i + 1)));
        bundle += testing::readText(sites.back()->server().certificateFile());
    }
    testing::writeText(certificates / "bundle.pem", bundle);
    Library library(sites.front()->server().hostPort(), certificates / "bundle.pem");

    // What every style must look like in the saved library afterwards.
    std::map<std::int64_t, std::string> expected;
    for (int n = 0; n < styles; ++n) {
        Site& site = *sites[static_cast<std::size_t>(n % siteCount)];
        const bool newer = n % 2 == 0;
        std::string address;
        if (kind == Kind::userCSS) {
            const std::string path = fmt::format("/styles/style-{}.user.css", n);
            site.serve(path, userCSS(n, false));
            address = site.url(path);
        } else {
            const std::string json = fmt::format("/styles/chrome/{}.json", n + 1);
            site.serve(json, boost::json::serialize(styleJSONToJson(
                                 catalogueRecord(n, false, site.server().base() + json))));
            address = site.server().base() + fmt::format("/styles/{}", n + 1);
        }
        const URLImportOutcome installed = importFromURL(address, library.webServices());
        if (installed.result != URLImportResult::added) {
            throw std::runtime_error("could not install " + address);
        }
        if (kind == Kind::userCSS) {
            if (newer) {
                site.serve(fmt::format("/styles/style-{}.user.css", n), userCSS(n, true));
            }
            expected[installed.uniqueID] = newer ? "1.1.0" : "1.0.0";
        } else {
            const std::string json = fmt::format("/styles/chrome/{}.json", n + 1);
            const styleJSON record = catalogueRecord(n, newer, site.server().base() + json);
            site.serve(json, boost::json::serialize(styleJSONToJson(record)));
            expected[installed.uniqueID] = record.originalMd5;
        }
    }
    int requestsBefore = 0;
    for (auto& site : sites) {
        site->slowDown(delay);
        requestsBefore += site->server().requests();
    }

    std::atomic<int> updated{0}, upToDate{0}, errors{0};
    std::atomic<bool> finished{false};
    RowUpdateCheck::Callbacks callbacks;
    callbacks.rowChecked = [&](std::int64_t, const UpdateCheck& check) {
        switch (check.outcome) {
            case UpdateOutcome::updated:
                ++updated;
                break;
            case UpdateOutcome::upToDate:
                ++upToDate;
                break;
            default:
                ++errors;
        }
    };
    callbacks.finished = [&] { finished = true; };
    RowUpdateCheck rows(library.updateContext(), &library.notifications, callbacks);

    Run run;
    std::atomic<bool> stopSampling{false};
    std::thread sampler([&] {
        while (!stopSampling.load()) {
            int now = 0;
            for (auto& site : sites) {
                now += site->server().concurrent();
            }
            run.sampledPeak = std::max(run.sampledPeak, now);
            std::this_thread::sleep_for(milliseconds(1));
        }
    });
    const double cpuStart = processCpuMs();
    const auto start = Clock::now();
    const bool started = rows.checkAll(false);
    rows.wait();
    run.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    run.cpuMs = processCpuMs() - cpuStart;
    stopSampling = true;
    sampler.join();

    int requests = 0;
    for (auto& site : sites) {
        requests += site->server().requests();
        run.sumOfPeaks += site->server().peakConcurrent();
        run.serverPeak = std::max(run.serverPeak, site->server().peakConcurrent());
    }
    requests -= requestsBefore;

    const int wantUpdated = (styles + 1) / 2;
    if (!started || !finished || errors != 0 || updated != wantUpdated ||
        upToDate != styles - wantUpdated || requests != styles) {
        throw std::runtime_error(fmt::format(
            "the check ended with {} updated, {} up to date, {} errors (expected {} and {}), "
            "{} requests for {} styles{}",
            updated.load(), upToDate.load(), errors.load(), wantUpdated, styles - wantUpdated,
            requests, styles, errors != 0 ? "; first error: " + library.console.first() : ""));
    }
    const styleDatabase saved = library.saved();
    int right = 0;
    for (const styleContainer& style : saved.styles) {
        auto found = expected.find(style.uniqueID);
        const std::string& have =
            kind == Kind::userCSS ? style.version : style.styleData.originalMd5;
        if (found != expected.end() && have == found->second) {
            ++right;
        }
    }
    if (saved.styles.size() != expected.size() || right != styles) {
        throw std::runtime_error(
            fmt::format("the saved library holds {} styles, {} of them as expected, out of {}",
                        saved.styles.size(), right, styles));
    }
    return run;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
double medianOf(const std::vector<Run>& runs, F field) {
    std::vector<double> v;
    for (const Run& r : runs) {
        v.push_back(static_cast<double>(field(r)));
    }
    return median(v);
}

template <typename F>
int maxOf(const std::vector<Run>& runs, F field) {
    int most = 0;
    for (const Run& r : runs) {
        most = std::max(most, field(r));
    }
    return most;
}

std::string duration(double ms) {
    return ms < 1000 ? fmt::format("{:.1f} ms", ms) : fmt::format("{:.2f} s", ms / 1000);
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 3;
    int styles = 200;
    int siteCount = 8;
    int delayMs = 50;
    int singles = 5;  // one-style checks per run, for a steadier t1
    for (int i = 1; i + 1 < argc; i += 2) {
        const int value = std::max(1, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--reps") == 0) {
            reps = value;
        } else if (std::strcmp(argv[i], "--styles") == 0) {
            styles = value;
        } else if (std::strcmp(argv[i], "--sites") == 0) {
            siteCount = std::min(value, 254);
        } else if (std::strcmp(argv[i], "--delay") == 0) {
            delayMs = value;
        } else if (std::strcmp(argv[i], "--singles") == 0) {
            singles = value;
        } else {
            fmt::print(stderr, "update_check_bench: unknown option {}\n", argv[i]);
            return 2;
        }
    }
    const milliseconds delay(delayMs);
    // Whatever the library code reads from the environment points into a throw-away folder.
    testing::IsolatedHome home;

    std::vector<Run> oneUserCSS, oneCatalogue, spread, oneHost;
    try {
        runOnce(Kind::userCSS, 1, 1, delay);  // warm-up: libcurl, OpenSSL, the first threads
        for (int rep = 1; rep <= reps; ++rep) {
            for (int i = 0; i < singles; ++i) {
                oneUserCSS.push_back(runOnce(Kind::userCSS, 1, 1, delay));
                oneCatalogue.push_back(runOnce(Kind::catalogue, 1, 1, delay));
            }
            spread.push_back(runOnce(Kind::userCSS, styles, siteCount, delay));
            oneHost.push_back(runOnce(Kind::catalogue, styles, 1, delay));
            fmt::print(stderr,
                       "run {}: t1 {:.1f} / {:.1f} ms, A {:.0f} ms (CPU {:.0f} ms, peak {}), "
                       "B {:.0f} ms (CPU {:.0f} ms, peak {})\n",
                       rep, oneUserCSS.back().wallMs, oneCatalogue.back().wallMs,
                       spread.back().wallMs, spread.back().cpuMs, spread.back().sampledPeak,
                       oneHost.back().wallMs, oneHost.back().cpuMs, oneHost.back().sampledPeak);
        }
    } catch (const std::exception& e) {
        fmt::print(stderr, "update_check_bench: error: {}\n", e.what());
        return 1;
    }

    const auto wall = [](const Run& r) { return r.wallMs; };
    const auto sampled = [](const Run& r) { return r.sampledPeak; };
    const auto summed = [](const Run& r) { return r.sumOfPeaks; };
    const auto perServer = [](const Run& r) { return r.serverPeak; };
    const double t1User = medianOf(oneUserCSS, wall);
    const double t1Catalogue = medianOf(oneCatalogue, wall);
    const double a = medianOf(spread, wall);
    const double b = medianOf(oneHost, wall);
    const int threads = static_cast<int>(kMaxConcurrentChecks);
    const int perHost = DownloadLimits{}.requestsPerHost;
    const int boundA = std::min(threads, siteCount * perHost);
    const int boundB = std::min(threads, perHost);
    const int roundsA = (styles + boundA - 1) / boundA;
    const int roundsB = (styles + boundB - 1) / boundB;

    fmt::print(
        "Row-by-row update check of {} styles, every answer after {} ms; every second style has "
        "a newer version.\nWall time from the start of the check to the library written, median "
        "of {} runs (t1: of {} single checks); peaks are the highest over the runs.\n\n",
        styles, delayMs, reps, reps * singles);
    const auto cpu = [](const Run& r) { return r.cpuMs; };
    fmt::print(
        "| Figure | Wall time | ÷ t1 | ÷ serial | Rounds × delay | Process CPU | Peak at once "
        "(sampled) | Sum of server peaks | Bound |\n");
    fmt::print("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    fmt::print("| t1: one UserCSS style | {} | 1 | | {} | {} | {} | | |\n", duration(t1User),
               duration(delayMs), duration(medianOf(oneUserCSS, cpu)), maxOf(oneUserCSS, sampled));
    fmt::print("| t1: one catalogue style | {} | 1 | | {} | {} | {} | | |\n", duration(t1Catalogue),
               duration(delayMs), duration(medianOf(oneCatalogue, cpu)),
               maxOf(oneCatalogue, sampled));
    fmt::print("| serial: {} × t1 (UserCSS) | {} | {} | 1 | | | | | |\n", styles,
               duration(styles * t1User), styles);
    fmt::print("| serial: {} × t1 (catalogue) | {} | {} | 1 | | | | | |\n", styles,
               duration(styles * t1Catalogue), styles);
    fmt::print(
        "| A: {} UserCSS styles from {} sites | {} | {:.1f} | {:.3f} | {} | {} | {} | {} | {} |\n",
        styles, siteCount, duration(a), a / t1User, a / (styles * t1User),
        duration(roundsA * delayMs), duration(medianOf(spread, cpu)), maxOf(spread, sampled),
        maxOf(spread, summed), boundA);
    fmt::print(
        "| B: {} catalogue styles from one host | {} | {:.1f} | {:.3f} | {} | {} | {} | {} | {} "
        "|\n",
        styles, duration(b), b / t1Catalogue, b / (styles * t1Catalogue),
        duration(roundsB * delayMs), duration(medianOf(oneHost, cpu)), maxOf(oneHost, sampled),
        maxOf(oneHost, summed), boundB);
    fmt::print("\nEvery run: {} updates saved, {} styles left as they were, no errors.\n",
               (styles + 1) / 2, styles - (styles + 1) / 2);

    bool within = true;
    if (maxOf(spread, sampled) > boundA || maxOf(spread, perServer) > perHost) {
        fmt::print(stderr, "update_check_bench: error: A went past {} requests at once\n", boundA);
        within = false;
    }
    if (maxOf(oneHost, sampled) > boundB) {
        fmt::print(stderr, "update_check_bench: error: B went past {} requests at once\n", boundB);
        within = false;
    }
    return within ? 0 : 1;
}
