// Reading and writing UserCSS documents of 1 MB and 10 MB: many @-moz-document blocks with
// comments between them, and many variable declarations of every kind (about a tenth of the
// text). Ten times the text should cost about ten times the time.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "formats/usercss_reader.h"
#include "formats/usercss_writer.h"

namespace {

using namespace orlavine;

constexpr std::size_t kMegabyte = 1000 * 1000;

// One variable declaration, of a kind chosen by `i`.
std::string declaration(std::size_t i) {
    const std::string n = std::to_string(i);
    switch (i % 6) {
        case 0:
            return "@var color accent" + n + " \"Accent colour " + n + "\" #ff7a" + n.substr(0, 2) +
                   "\n";
        case 1:
            return "@var range gap" + n + " \"Gap\" [8, 0, 32, 0.5, 'px']\n";
        case 2:
            return "@var select theme" + n + " \"Theme\" {\n  \"dark:Dark\": \"#111\",\n" +
                   "  \"dim*:Dim\": \"#333\",\n  \"light:Light\": \"#f5f5f5\"\n}\n";
        case 3:
            return "@var dropdown font" + n + " \"Font family\" {\n" +
                   "  sans \"Sans serif\" <<<EOT font-family: \"Inter\", sans-serif; EOT;\n" +
                   "  mono \"Monospace\" <<<EOT font-family: \"JetBrains Mono\", monospace; "
                   "EOT;\n}\n";
        case 4:
            return "@var text headline" + n + " \"Headline\" \"Read: later\"\n";
        default:
            return "@var checkbox rounded" + n + " \"Rounded corners\" 1\n";
    }
}

// One block of about 1 KB.
std::string block(std::size_t i) {
    const std::string n = std::to_string(i);
    std::string b = "@-moz-document domain(\"site" + n + ".example\"), url-prefix(\"https://site" +
                    n + ".example/docs/\"), regexp(\"https?://(www\\\\.)?site" + n +
                    "\\\\.example/forum/.*\") {\n";
    for (int k = 0; k < 6; ++k) {
        const std::string c = std::to_string(k);
        b += "    .panel-" + c + " > .item:hover, .panel-" + c + " .title {\n";
        b += "        background: var(--bg-" + c + ", #1e1e1e) !important;\n";
        b += "        color: /*[[accent" + n + "]]*/ #e6e6e6;\n";
        b += "        border: 1px solid rgba(255, 255, 255, .08);\n    }\n";
    }
    b += "}\n";
    b += i % 3 == 0 ? "/* the next site */\n\n" : "\n";
    return b;
}

std::string document(std::size_t bytes) {
    std::string text =
        "/* ==UserStyle==\n@name Benchmark\n@namespace bench.example\n@version 1.0.0\n"
        "@description Many blocks and many variables.\n@preprocessor default\n";
    std::size_t i = 0;
    while (text.size() < bytes / 10) {
        text += declaration(i++);
    }
    text += "==/UserStyle== */\n\n";
    i = 0;
    while (text.size() < bytes) {
        text += block(i++);
    }
    return text;
}

void readDocument(benchmark::State& state) {
    const std::string text = document(static_cast<std::size_t>(state.range(0)) * kMegabyte);
    std::size_t sections = 0;
    for (auto _ : state) {
        std::optional<styleContainer> style = readUserCSS(text);
        sections = style->styleData.sections.size();
        benchmark::DoNotOptimize(style);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["sections"] = static_cast<double>(sections);
}

void writeDocument(benchmark::State& state) {
    const styleContainer style =
        *readUserCSS(document(static_cast<std::size_t>(state.range(0)) * kMegabyte));
    std::size_t size = 0;
    for (auto _ : state) {
        std::string text = writeUserCSS(style);
        size = text.size();
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["variables"] = static_cast<double>(style.userVariables->size());
}

BENCHMARK(readDocument)->Name("read UserCSS/MB")->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(writeDocument)->Name("write UserCSS/MB")->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
