#pragma once
// Evaluating the compiler scripts in SpiderMonkey. Each thread that compiles gets its own engine
// (a JavaScript context with a watchdog), made on first use and kept until the thread ends; each
// compilation gets a fresh global of its own, so nothing one compilation defines is seen by the
// next. A run that goes past its time or memory limit is stopped and reported as such.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace orlavine {

struct ScriptLimits {
    std::chrono::milliseconds time{20000};           // for the whole run, from its start
    std::size_t memoryBytes = std::size_t{1} << 30;  // engine heap, and growth of the process
};

struct ScriptFailure {
    enum class Kind {
        exception,    // an uncaught exception; `text` is the exception converted to a string
        timeLimit,    // the run took longer than its limit
        memoryLimit,  // the run used more memory than its limit
        engine,       // the engine could not be started
    };
    Kind kind = Kind::exception;
    std::string text;
};

// A string, or why there is none.
using ScriptText = std::variant<std::string, ScriptFailure>;

// One compilation's global on the calling thread's engine. Use it on the thread that made it,
// and keep it on the stack: realms of one thread end in the reverse order of their creation.
class ScriptRealm {
  public:
    explicit ScriptRealm(const ScriptLimits& limits = {});
    ~ScriptRealm();
    ScriptRealm(const ScriptRealm&) = delete;
    ScriptRealm& operator=(const ScriptRealm&) = delete;

    // Evaluates `source` (with `address` as its location in error texts), then runs the pending
    // promise jobs. Gives the completion value converted to a string ("undefined" for the
    // undefined value). An exception thrown by a promise job is reported as well. Once a run hit
    // a limit or could not start, every later call gives that failure again.
    ScriptText evaluate(std::string_view source, std::string_view address = "");
    // The same, for a script evaluated again and again in fresh realms (the compiler scripts):
    // the thread's engine keeps its compiled form, so later realms only run it.
    ScriptText evaluateKept(std::string_view source, std::string_view address);
    // Sets a global variable to a string. Malformed UTF-8 becomes U+FFFD.
    bool setGlobalString(std::string_view name, std::string_view value);
    // The global variable converted to a string; "undefined" when it is not defined.
    ScriptText globalText(std::string_view name);

    // A function of one argument (converted to a string) that scripts can call; it answers a
    // string, or null for nothing. It runs on this thread and must outlive the realm.
    using TextFunction = std::function<std::optional<std::string>(const std::string&)>;
    bool defineFunction(std::string_view name, const TextFunction& function);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orlavine
