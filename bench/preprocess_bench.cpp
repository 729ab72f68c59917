// The program's side of the preprocessing benchmark: the same figures as
// bench/preprocess_node_bench.js, measured with the embedded engine.
//
//   preprocess_bench SCRIPT-DIR REPS FILE...
// Prints one line per figure: "name<TAB>median milliseconds of process CPU time". "whole run" is
// what one compileStyle pays: a fresh global, the scripts, the compilation (and, through
// compileStyle, cutting the output back into sections).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "preprocess/script_engine.h"
#include "preprocess/script_resources.h"
#include "preprocess/style_preprocessor.h"

namespace orlavine {
namespace {

class QuietReporter : public Reporter {
  public:
    void consoleLine(std::string_view) override {}
    void showAlert(std::string_view, std::string_view) override {}
};

class FailOnError : public CompilerErrorSink {
  public:
    void showCompilerError(const CompilerError& error) override {
        std::fprintf(stderr, "compiler error: %s\n", error.text.c_str());
        std::exit(1);
    }
};

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// CPU time of the whole process (the engine's helper threads included), so that a loaded machine
// does not count against either side.
double processCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double medianMs(int reps, const std::function<void()>& run) {
    run();  // warm-up
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
        const double start = processCpuMs();
        run();
        times.push_back(processCpuMs() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void expectText(const ScriptText& result) {
    if (const auto* failure = std::get_if<ScriptFailure>(&result)) {
        std::fprintf(stderr, "script failed: %s\n", failure->text.c_str());
        std::exit(1);
    }
}

struct Loaded {
    std::string encoding;
    std::string compiler;
    const char* name;
};

void load(ScriptRealm& realm, const Loaded& scripts) {
    expectText(realm.evaluateKept(scripts.encoding, kEncodingScript));
    expectText(realm.evaluateKept(scripts.compiler, scripts.name));
}

int run(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: preprocess_bench SCRIPT-DIR REPS FILE...\n");
        return 2;
    }
    const std::filesystem::path scripts = argv[1];
    const int reps = std::atoi(argv[2]);
    const std::string encoding = *readScript(scripts, kEncodingScript);
    const Loaded less{encoding, *readScript(scripts, kLessScript), kLessScript};
    const Loaded stylus{encoding, *readScript(scripts, kStylusScript), kStylusScript};

    std::printf("less fresh context + scripts\t%.2f\n", medianMs(reps, [&] {
                    ScriptRealm realm;
                    load(realm, less);
                }));
    std::printf("stylus fresh context + scripts\t%.2f\n", medianMs(reps, [&] {
                    ScriptRealm realm;
                    load(realm, stylus);
                }));

    QuietReporter reporter;
    FailOnError errors;
    StylePreprocessor preprocessor({&reporter, &errors, scripts, {}});
    for (int i = 3; i < argc; ++i) {
        const std::filesystem::path file = argv[i];
        const std::string text = readFile(file);
        const std::string name = file.filename().string();
        const bool isLess = file.extension() == ".less";
        {
            ScriptRealm realm;
            load(realm, isLess ? less : stylus);
            realm.setGlobalString("str", text);
            const double warm = medianMs(reps, [&] {
                if (isLess) {
                    expectText(
                        realm.evaluate("compiled = undefined; less.render(str).then(r => { "
                                       "compiled = r.css; });"));
                    if (std::get<std::string>(realm.globalText("compiled")) == "undefined") {
                        std::fprintf(stderr, "no output\n");
                        std::exit(1);
                    }
                } else {
                    expectText(realm.evaluate("new StylusRenderer(str).render()"));
                }
            });
            std::printf("%s compile (warm)\t%.2f\n", name.c_str(), warm);
        }
        styleContainer style;
        style.styleData.name = name;
        style.preprocessor = isLess ? "less" : "stylus";
        style.userVariables.emplace();
        styleSection section;
        section.code = text;
        style.styleData.sections.push_back(section);
        std::printf("%s whole run\t%.2f\n", name.c_str(), medianMs(reps, [&] {
                        style.styleData.compSections.reset();
                        preprocessor.compileStyle(style);
                        if (!style.styleData.compSections) {
                            std::fprintf(stderr, "no compiled sections\n");
                            std::exit(1);
                        }
                    }));
    }
    return 0;
}

}  // namespace
}  // namespace orlavine

int main(int argc, char** argv) {
    return orlavine::run(argc, argv);
}
