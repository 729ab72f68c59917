// Page CSS assembly: time per page for libraries of 100, 1,000 and 10,000 styles, the cost of
// compiling a library, the memory it takes, and the direct walk (every rule, every expression
// compiled on every request) for comparison. Run on a Release build:
//   build/release-asm/bench/assembly_bench --benchmark_min_time=1

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "extension/page_css.h"
#include "support/uncached_assembly.h"

namespace orlavine {
namespace {

// A fixed generator, so every run and machine sees the same library.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    bool percent(std::size_t p) { return below(100) < p; }

  private:
    std::uint64_t state_;
};

const std::vector<std::string> kPopularHosts = {
    "github.com",           "www.youtube.com",   "en.wikipedia.org", "www.reddit.com",
    "news.ycombinator.com", "stackoverflow.com", "mail.google.com",  "twitter.com",
    "www.amazon.com",       "docs.python.org"};

std::string siteHost(std::size_t n) {
    static const char* const kTlds[] = {".com", ".org", ".net", ".io", ".de"};
    return "site" + std::to_string(n) + kTlds[n % 5];
}

std::string escapeDots(const std::string& host) {
    std::string out;
    for (char c : host) {
        if (c == '.') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

std::string cssText(Random& random) {
    static const char* const kRules[] = {
        "body { background: #1e1e1e !important; color: #ddd !important; }\n",
        ".header, .nav > li a:hover { border-bottom: 1px solid rgba(255,255,255,.1); }\n",
        "#sidebar { display: none; }\n",
        "a:not(.button) { color: #8ab4f8 !important; text-decoration: underline dotted; }\n",
        "@media (max-width: 800px) { .content { padding: 0 8px; font-size: 15px; } }\n"};
    std::string text = "/* generated */\n";
    const std::size_t rules = 3 + random.below(25);
    for (std::size_t i = 0; i < rules; ++i) {
        text += kRules[random.below(5)];
    }
    return text;
}

// Five sections a style; rules: 40% domains, 25% prefixes, 23% exact addresses, 10% regular
// expressions, 2% none (applies everywhere). One style in twenty is for a popular site.
styleDatabase makeLibrary(std::size_t styles) {
    Random random(0x6f726c6176696e65ULL + styles);
    styleDatabase db;
    db.randomHash = 1;
    for (std::size_t i = 0; i < styles; ++i) {
        styleContainer style;
        style.uniqueID = static_cast<std::int64_t>(1000 + i);
        style.styleData.name = "Style " + std::to_string(i);
        style.source = "usercss";
        style.isEnabled = !random.percent(10);
        if (random.percent(30)) {
            style.allowIframe = true;
        }
        if (random.percent(20)) {
            style.systemTheme = random.percent(50) ? "dark" : "light";
        }
        const std::string host =
            random.percent(5) ? kPopularHosts[random.below(kPopularHosts.size())] : siteHost(i);
        if (random.percent(10)) {
            style.exclDomain = std::vector<std::string>{"mail." + host};
            style.exclPrefix = std::vector<std::string>{"https://" + host + "/settings"};
        }
        if (random.percent(3)) {
            style.exclRegExp = std::vector<std::string>{"[?&]print=1", "/admin/.*"};
        }
        for (int s = 0; s < 5; ++s) {
            styleSection section;
            section.code = random.percent(3) ? "/* placeholder */" : cssText(random);
            const std::size_t kind = random.below(100);
            if (kind < 40) {
                section.domains = {host};
            } else if (kind < 65) {
                section.urlPrefixes = {"https://" + host + "/" + (s % 2 ? "forum" : "")};
            } else if (kind < 88) {
                section.urls = {"https://" + host + "/", "https://" + host + "/index.html"};
            } else if (kind < 98) {
                const std::string h = escapeDots(host);
                switch (random.below(5)) {
                    case 0:
                        section.regexps = {"https?://(www\\.)?" + h + "/.*"};
                        break;
                    case 1:
                        section.regexps = {"^https?://([a-z0-9-]+\\.)*" + h + "/(forum|thread)/.*"};
                        break;
                    case 2:
                        section.regexps = {"https://" + h + "/[a-z]+/\\d+.*"};
                        break;
                    case 3:
                        section.regexps = {".*\\." + h + "/.*\\?page=\\d+"};
                        break;
                    default:
                        section.regexps = {random.percent(10) ? "https?://.*/wp-admin/.*"
                                                              : "https?://" + h + "/(a|b)/.*"};
                        break;
                }
            }
            style.styleData.sections.push_back(std::move(section));
        }
        db.styles.push_back(std::move(style));
    }
    return db;
}

std::string longAddress() {
    std::string address = "https://www.google.com/search?q=";
    while (address.size() < 8192) {
        address += "orlavine+user+styles+dark+theme&oq=orl&sourceid=chrome&ie=UTF-8&";
    }
    address.resize(8192);
    return address;
}

const std::vector<std::string>& pageAddresses() {
    static const std::vector<std::string> addresses = {
        "https://github.com/orlavine/orlavine/pulls?q=is%3Aopen",
        "https://www.youtube.com/watch?v=dQw4w9WgXcQ&t=42s",
        "https://en.wikipedia.org/wiki/Cascading_Style_Sheets#Syntax",
        "https://site42.com/forum/thread/1234?page=2",
        "https://www.site77.net/",
        "https://news.example.org/2026/12/06/story.html",
        "about:blank",
        longAddress(),
    };
    return addresses;
}

struct Prepared {
    styleDatabase db;
    std::shared_ptr<const CompiledLibrary> compiled;
};

const Prepared& prepared(std::size_t styles) {
    static std::map<std::size_t, Prepared> cache;
    auto found = cache.find(styles);
    if (found == cache.end()) {
        Prepared p;
        p.db = makeLibrary(styles);
        p.compiled = CompiledLibrary::build(p.db);
        found = cache.emplace(styles, std::move(p)).first;
    }
    return found->second;
}

void pageCounters(benchmark::State& state, std::size_t cssBytes, std::size_t pages) {
    state.counters["css_bytes_per_page"] =
        benchmark::Counter(static_cast<double>(cssBytes) / static_cast<double>(pages));
    state.counters["pages_per_s"] =
        benchmark::Counter(static_cast<double>(pages), benchmark::Counter::kIsRate);
}

// Request i of a run: the addresses in turn, all as top-level pages, then all as frames.
const std::string& addressOf(std::size_t i) {
    return pageAddresses()[i % pageAddresses().size()];
}
bool frameOf(std::size_t i) {
    return (i / pageAddresses().size()) % 2 == 1;
}

void BM_CompiledPage(benchmark::State& state) {
    const Prepared& p = prepared(static_cast<std::size_t>(state.range(0)));
    std::size_t i = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string css = p.compiled->pageCSS(addressOf(i), frameOf(i));
        bytes += css.size();
        benchmark::DoNotOptimize(css.data());
        ++i;
    }
    pageCounters(state, bytes, i);
}

void BM_CompiledLongAddress(benchmark::State& state) {
    const Prepared& p = prepared(static_cast<std::size_t>(state.range(0)));
    const std::string address = longAddress();
    std::size_t pages = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string css = p.compiled->pageCSS(address, false);
        bytes += css.size();
        benchmark::DoNotOptimize(css.data());
        ++pages;
    }
    pageCounters(state, bytes, pages);
}

void BM_CompiledActiveStyles(benchmark::State& state) {
    const Prepared& p = prepared(static_cast<std::size_t>(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(p.compiled->activeStyles(addressOf(i)));
        ++i;
    }
}

// Also checks, outside the timing, that both ways give the same CSS.
void BM_UncachedPage(benchmark::State& state) {
    const Prepared& p = prepared(static_cast<std::size_t>(state.range(0)));
    std::size_t i = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string css = uncachedPageCSS(p.db, addressOf(i), frameOf(i));
        bytes += css.size();
        benchmark::DoNotOptimize(css.data());
        state.PauseTiming();
        if (css != p.compiled->pageCSS(addressOf(i), frameOf(i))) {
            state.SkipWithError("the compiled library gave different CSS");
        }
        state.ResumeTiming();
        ++i;
    }
    pageCounters(state, bytes, i);
}

std::size_t heapInUse() {
    return mallinfo2().uordblks;
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0;
    std::size_t resident = 0;
    statm >> size >> resident;
    return resident * 4096;
}

// Compiling a revision, and what the compiled form holds beyond the database itself.
void BM_BuildLibrary(benchmark::State& state) {
    const styleDatabase& db = prepared(static_cast<std::size_t>(state.range(0))).db;
    double extraHeap = 0;
    double extraResident = 0;
    double databaseHeap = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::size_t before = heapInUse();
        styleDatabase copy = db;
        databaseHeap = static_cast<double>(heapInUse() - before);
        const std::size_t heapBefore = heapInUse();
        const std::size_t residentBefore = residentBytes();
        state.ResumeTiming();
        auto compiled = CompiledLibrary::build(std::move(copy));
        state.PauseTiming();
        extraHeap = static_cast<double>(heapInUse() - heapBefore);
        extraResident = static_cast<double>(residentBytes()) - static_cast<double>(residentBefore);
        compiled.reset();
        state.ResumeTiming();
    }
    double regexRules = 0;
    for (const styleContainer& style : db.styles) {
        for (const styleSection& section : style.styleData.sections) {
            regexRules += static_cast<double>(section.regexps.size());
        }
    }
    state.counters["regex_rules"] = regexRules;
    state.counters["database_heap_MB"] = databaseHeap / 1e6;
    state.counters["compiled_extra_heap_MB"] = extraHeap / 1e6;
    state.counters["resident_growth_MB"] = extraResident / 1e6;
}

BENCHMARK(BM_CompiledPage)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompiledLongAddress)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompiledActiveStyles)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UncachedPage)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuildLibrary)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
}  // namespace orlavine

BENCHMARK_MAIN();
