#include "preprocess/script_engine.h"

#include <js/CharacterEncoding.h>
#include <js/CompilationAndEvaluation.h>
#include <js/Context.h>
#include <js/Conversions.h>
#include <js/Exception.h>
#include <js/GlobalObject.h>
#include <js/Initialization.h>
#include <js/Interrupt.h>
#include <js/PropertyAndElement.h>
#include <js/Realm.h>
#include <js/SourceText.h>
#include <js/Stack.h>
#include <js/String.h>
#include <js/experimental/JSStencil.h>
#include <jsapi.h>
#include <jsfriendapi.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace orlavine {
namespace {

using Clock = std::chrono::steady_clock;

// How often the watchdog makes a running script check its limits.
constexpr auto kLimitCheckInterval = std::chrono::milliseconds(20);
// Stack kept free below the engine's own limit for the C++ frames that run after its check.
constexpr std::size_t kStackReserve = std::size_t{1} << 20;
// Used when the thread's stack cannot be found.
constexpr std::size_t kFallbackStackQuota = std::size_t{256} << 10;

void shutDownEngineLibrary() {
    JS_ShutDown();
}

bool initEngineLibrary() {
    // Set up once per process. The library must be shut down before its own static objects
    // are destroyed at exit; exit runs the main thread's thread-local destructors (its engine)
    // before the handlers registered here.
    static const bool ok = [] {
        if (!JS_Init()) {
            return false;
        }
        std::atexit(shutDownEngineLibrary);
        return true;
    }();
    return ok;
}

// Every compilation runs the compiler scripts in a new global, where their functions start cold
// and the optimised code of the run before is lost. Measured on whole Less and Stylus compilations
// of 5 KB to 500 KB: starting the baseline compiler at a function's 10th call (100 by default) and
// the optimising one at its 3000th (1500) makes the 5 KB ones 10-15% faster, as they no longer
// spend much of their CPU time optimising code they run only briefly; the large ones stay as they
// were (optimising much later than this makes them slower). The engine keeps these settings for
// the whole process: the first context sets them, before any script runs.
void setJitWarmUp(JSContext* cx) {
    static std::once_flag once;
    std::call_once(once, [cx] {
        JS_SetGlobalJitCompilerOption(cx, JSJITCOMPILER_BASELINE_WARMUP_TRIGGER, 10);
        JS_SetGlobalJitCompilerOption(cx, JSJITCOMPILER_ION_NORMAL_WARMUP_TRIGGER, 3000);
    });
}

std::size_t residentBytes() {
    std::FILE* file = std::fopen("/proc/self/statm", "r");
    if (file == nullptr) {
        return 0;
    }
    unsigned long size = 0;
    unsigned long resident = 0;
    const int read = std::fscanf(file, "%lu %lu", &size, &resident);
    std::fclose(file);
    if (read != 2) {
        return 0;
    }
    return static_cast<std::size_t>(resident) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// Room on this thread's stack, from here to its end.
std::size_t stackRoom() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) {
        return 0;
    }
    void* low = nullptr;
    std::size_t size = 0;
    pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
    const char marker = 0;
    const auto here = reinterpret_cast<std::uintptr_t>(&marker);
    const auto bottom = reinterpret_cast<std::uintptr_t>(low);
    return here > bottom ? static_cast<std::size_t>(here - bottom) : 0;
}

std::string encodeUTF8(JSContext* cx, JS::HandleString text) {
    JSLinearString* linear = JS_EnsureLinearString(cx, text);
    if (linear == nullptr) {
        return {};
    }
    std::string out(JS::GetDeflatedUTF8StringLength(linear), '\0');
    auto written =
        JS_EncodeStringToUTF8BufferPartial(cx, text, mozilla::Span(out.data(), out.size()));
    if (written.isNothing()) {
        return {};
    }
    out.resize(mozilla::Get<1>(*written));
    return out;
}

// The value as JavaScript's String() gives it; nothing when the conversion itself throws.
std::optional<std::string> valueText(JSContext* cx, JS::HandleValue value) {
    JS::RootedString text(cx, JS::ToString(cx, value));
    if (text == nullptr) {
        return std::nullopt;
    }
    return encodeUTF8(cx, text);
}

// Takes the pending exception off the context, as text.
std::optional<std::string> takeException(JSContext* cx) {
    if (!JS_IsExceptionPending(cx)) {
        return std::nullopt;
    }
    JS::RootedValue exception(cx);
    JS_GetPendingException(cx, &exception);
    JS_ClearPendingException(cx);
    auto text = valueText(cx, exception);
    JS_ClearPendingException(cx);
    return text.value_or("uncaught exception");
}

const JSClass kGlobalClass = {
    "global", JSCLASS_GLOBAL_FLAGS, &JS::DefaultGlobalClassOps, nullptr, nullptr, nullptr};

// A context on one thread, with a watchdog thread that makes running scripts check their limits.
class Engine : private js::ScriptEnvironmentPreparer {
  public:
    static Engine* forThisThread() {
        // One engine per thread: a context may only be used on the thread that made it.
        thread_local std::unique_ptr<Engine> engine;
        thread_local bool failed = false;
        if (engine == nullptr && !failed) {
            engine.reset(new Engine());
            if (engine->cx_ == nullptr) {
                engine.reset();
                failed = true;
            }
        }
        return engine.get();
    }

    ~Engine() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        if (watchdog_.joinable()) {
            watchdog_.join();
        }
        kept_.clear();
        if (cx_ != nullptr) {
            JS_DestroyContext(cx_);
        }
    }

    JSContext* context() const { return cx_; }

    // The compiled form of a script this thread evaluated before under `key`, if any.
    JS::Stencil* keptScript(const std::string& key) const {
        const auto found = kept_.find(key);
        return found == kept_.end() ? nullptr : found->second.get();
    }
    // Keeps a compiled script for the realms that come after. Few scripts are ever kept (the
    // compiler scripts); past a handful the oldest go.
    void keepScript(const std::string& key, RefPtr<JS::Stencil> stencil) {
        if (kept_.size() >= kMaxKeptScripts) {
            kept_.clear();
        }
        kept_[key] = std::move(stencil);
    }
    bool busy() const { return running_; }

    static constexpr std::size_t kMaxKeptScripts = 8;

    void beginRun(const ScriptLimits& limits) {
        stopReason_ = std::nullopt;
        jobException_ = std::nullopt;
        memoryLimit_ = limits.memoryBytes;
        startResident_ = residentBytes();
        JS_SetGCParameter(cx_, JSGC_MAX_BYTES, heapLimit(limits.memoryBytes));
        {
            std::lock_guard lock(mutex_);
            deadline_ = Clock::now() + limits.time;
            running_ = true;
        }
        wake_.notify_all();
    }

    void endRun() {
        {
            std::lock_guard lock(mutex_);
            running_ = false;
        }
        JS_MaybeGC(cx_);
    }

    std::optional<ScriptFailure::Kind> stopReason() const { return stopReason_; }
    void noteOutOfMemory() { stopReason_ = ScriptFailure::Kind::memoryLimit; }
    // The first exception a promise job left uncaught in this run.
    std::optional<std::string> takeJobException() {
        auto text = std::move(jobException_);
        jobException_ = std::nullopt;
        return text;
    }

  private:
    Engine() {
        if (!initEngineLibrary()) {
            return;
        }
        cx_ = JS_NewContext(heapLimit(ScriptLimits{}.memoryBytes));
        if (cx_ == nullptr) {
            return;
        }
        // Threads with small stacks keep half of theirs for the C++ side.
        const std::size_t room = stackRoom();
        std::size_t quota = kFallbackStackQuota;
        if (room > 2 * kStackReserve) {
            quota = room - kStackReserve;
        } else if (room > 0) {
            quota = room / 2;
        }
        JS_SetNativeStackQuota(cx_, quota);
        if (!js::UseInternalJobQueues(cx_) || !JS::InitSelfHostedCode(cx_)) {
            JS_DestroyContext(cx_);
            cx_ = nullptr;
            return;
        }
        setJitWarmUp(cx_);
        JS_SetContextPrivate(cx_, this);
        js::SetScriptEnvironmentPreparer(cx_, this);
        JS_AddInterruptCallback(cx_, &Engine::onInterrupt);
        watchdog_ = std::thread([this] { watch(); });
    }

    static std::uint32_t heapLimit(std::size_t bytes) {
        return static_cast<std::uint32_t>(std::min<std::size_t>(bytes, 0xFFFFFFFFu));
    }

    static bool onInterrupt(JSContext* cx) {
        auto* engine = static_cast<Engine*>(JS_GetContextPrivate(cx));
        return engine == nullptr || engine->withinLimits();
    }

    bool withinLimits() {
        if (stopReason_) {
            return false;
        }
        Clock::time_point deadline;
        {
            std::lock_guard lock(mutex_);
            if (!running_) {
                return true;
            }
            deadline = deadline_;
        }
        if (Clock::now() >= deadline) {
            stopReason_ = ScriptFailure::Kind::timeLimit;
            return false;
        }
        const std::size_t resident = residentBytes();
        if (resident > startResident_ && resident - startResident_ > memoryLimit_) {
            stopReason_ = ScriptFailure::Kind::memoryLimit;
            return false;
        }
        return true;
    }

    void watch() {
        std::unique_lock lock(mutex_);
        while (!quit_) {
            if (!running_) {
                wake_.wait(lock, [this] { return quit_ || running_; });
                continue;
            }
            wake_.wait_for(lock, kLimitCheckInterval, [this] { return quit_ || !running_; });
            if (running_ && !quit_) {
                JS_RequestInterruptCallback(cx_);
            }
        }
    }

    // Runs the report of an exception that a promise job left uncaught.
    void invoke(JS::HandleObject global, Closure& closure) override {
        JSAutoRealm realm(cx_, global);
        if (!closure(cx_)) {
            auto text = takeException(cx_);
            if (text && !jobException_) {
                jobException_ = std::move(text);
            }
        }
    }

    JSContext* cx_ = nullptr;
    std::map<std::string, RefPtr<JS::Stencil>> kept_;
    std::thread watchdog_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
    bool running_ = false;
    Clock::time_point deadline_;
    // Touched only by the engine's own thread (the interrupt callback runs there too).
    std::optional<ScriptFailure::Kind> stopReason_;
    std::optional<std::string> jobException_;
    std::size_t memoryLimit_ = 0;
    std::size_t startResident_ = 0;
};

ScriptFailure limitFailure(ScriptFailure::Kind kind) {
    if (kind == ScriptFailure::Kind::timeLimit) {
        return {kind, "The compilation took too long and was stopped."};
    }
    return {kind, "The compilation used too much memory and was stopped."};
}

// Malformed sequences replaced by U+FFFD, so that the engine accepts any text.
std::string validUTF8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            out.push_back(text[i++]);
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07u;
        }
        bool good = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; good && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            good = (next & 0xC0u) == 0x80u;
            code = (code << 6) | (next & 0x3Fu);
        }
        if (good) {
            const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
            good = !overlong && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        }
        if (good) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out.append("\xEF\xBF\xBD");
            ++i;
        }
    }
    return out;
}

bool callTextFunction(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const JS::Value& slot = js::GetFunctionNativeReserved(&args.callee(), 0);
    const auto* function = static_cast<const ScriptRealm::TextFunction*>(slot.toPrivate());
    JS::RootedValue argument(cx, args.get(0));
    auto text = valueText(cx, argument);
    if (!text) {
        return false;
    }
    auto answer = (*function)(*text);
    if (!answer) {
        args.rval().setNull();
        return true;
    }
    const std::string valid = validUTF8(*answer);
    JSString* string = JS_NewStringCopyUTF8N(cx, JS::UTF8Chars(valid.data(), valid.size()));
    if (string == nullptr) {
        return false;
    }
    args.rval().setString(string);
    return true;
}

}  // namespace

struct ScriptRealm::Impl {
    Engine* engine = nullptr;
    std::optional<ScriptFailure> broken;
    std::optional<JS::PersistentRootedObject> global;
    std::optional<JSAutoRealm> realm;

    JSContext* cx() const { return engine->context(); }

    // Why the run cannot go on, if it cannot.
    std::optional<ScriptFailure> stopped() {
        if (broken) {
            return broken;
        }
        if (auto reason = engine->stopReason()) {
            broken = limitFailure(*reason);
            JS_ClearPendingException(cx());
            return broken;
        }
        return std::nullopt;
    }

    // What an evaluation's end shares: promise jobs, limits, exceptions, the value's text.
    ScriptText finish(bool ok, JS::HandleValue result) {
        JSContext* cx = this->cx();
        std::optional<ScriptFailure> failed;
        if (!ok) {
            failed = failure();
        }
        // Promise reactions run before anything reads what they set.
        if (!stopped()) {
            js::RunJobs(cx);
        }
        if (auto limit = stopped()) {
            return *limit;
        }
        if (failed) {
            return *failed;
        }
        if (auto jobText = engine->takeJobException()) {
            return ScriptFailure{ScriptFailure::Kind::exception, std::move(*jobText)};
        }
        auto converted = valueText(cx, result);
        if (!converted) {
            return failure();
        }
        return std::move(*converted);
    }

    // The failure of a call into the engine that returned false.
    ScriptFailure failure() {
        auto text = takeException(cx());
        if (auto limit = stopped()) {
            return *limit;
        }
        if (!text) {
            // Ended without an exception and without a limit of ours: the engine ran out of
            // memory (its heap limit) or stopped the script itself.
            engine->noteOutOfMemory();
            return *stopped();
        }
        if (*text == "out of memory") {
            engine->noteOutOfMemory();
            return *stopped();
        }
        return {ScriptFailure::Kind::exception, std::move(*text)};
    }
};

ScriptRealm::ScriptRealm(const ScriptLimits& limits) : impl_(std::make_unique<Impl>()) {
    impl_->engine = Engine::forThisThread();
    if (impl_->engine == nullptr) {
        impl_->broken = ScriptFailure{ScriptFailure::Kind::engine,
                                      "The JavaScript engine could not be started."};
        return;
    }
    if (impl_->engine->busy()) {
        impl_->broken = ScriptFailure{ScriptFailure::Kind::engine,
                                      "A compilation is already running on this thread."};
        impl_->engine = nullptr;
        return;
    }
    JSContext* cx = impl_->cx();
    impl_->engine->beginRun(limits);
    JS::RealmOptions options;
    JSObject* global =
        JS_NewGlobalObject(cx, &kGlobalClass, nullptr, JS::FireOnNewGlobalHook, options);
    if (global == nullptr) {
        impl_->broken = impl_->failure();
        return;
    }
    impl_->global.emplace(cx, global);
    impl_->realm.emplace(cx, global);
    if (!JS::InitRealmStandardClasses(cx)) {
        impl_->broken = impl_->failure();
    }
}

ScriptRealm::~ScriptRealm() {
    if (impl_->engine == nullptr) {
        return;
    }
    JS_ClearPendingException(impl_->cx());
    impl_->realm.reset();
    impl_->global.reset();
    impl_->engine->endRun();
}

ScriptText ScriptRealm::evaluate(std::string_view source, std::string_view address) {
    if (auto failure = impl_->stopped()) {
        return *failure;
    }
    JSContext* cx = impl_->cx();
    const std::string file(address);
    JS::CompileOptions options(cx);
    options.setFileAndLine(file.c_str(), 1);
    JS::SourceText<mozilla::Utf8Unit> text;
    const std::string code = validUTF8(source);
    if (!text.init(cx, code.data(), code.size(), JS::SourceOwnership::Borrowed)) {
        return impl_->failure();
    }
    JS::RootedValue result(cx);
    const bool ok = JS::Evaluate(cx, options, text, &result);
    return impl_->finish(ok, result);
}

ScriptText ScriptRealm::evaluateKept(std::string_view source, std::string_view address) {
    if (auto failure = impl_->stopped()) {
        return *failure;
    }
    JSContext* cx = impl_->cx();
    const std::string file(address);
    JS::CompileOptions options(cx);
    options.setFileAndLine(file.c_str(), 1);
    // Parsed whole once: every global instantiates the kept form anew, and a function left to be
    // parsed on its first call would be parsed again in each of them.
    options.setForceFullParse();
    const std::string key = file + '\n' + std::to_string(source.size()) + ':' +
                            std::to_string(std::hash<std::string_view>{}(source));
    RefPtr<JS::Stencil> stencil = impl_->engine->keptScript(key);
    if (!stencil) {
        JS::SourceText<mozilla::Utf8Unit> text;
        const std::string code = validUTF8(source);
        if (!text.init(cx, code.data(), code.size(), JS::SourceOwnership::Borrowed)) {
            return impl_->failure();
        }
        stencil = JS::CompileGlobalScriptToStencil(cx, options, text);
        if (!stencil) {
            return impl_->failure();
        }
        impl_->engine->keepScript(key, stencil);
    }
    JS::InstantiateOptions instantiate(options);
    JS::RootedScript script(cx, JS::InstantiateGlobalStencil(cx, instantiate, stencil));
    if (!script) {
        return impl_->failure();
    }
    JS::RootedValue result(cx);
    const bool ok = JS_ExecuteScript(cx, script, &result);
    return impl_->finish(ok, result);
}

bool ScriptRealm::defineFunction(std::string_view name, const TextFunction& function) {
    if (impl_->stopped()) {
        return false;
    }
    JSContext* cx = impl_->cx();
    const std::string key(name);
    JSFunction* native = js::NewFunctionWithReserved(cx, &callTextFunction, 1, 0, key.c_str());
    if (native == nullptr) {
        JS_ClearPendingException(cx);
        return false;
    }
    JS::RootedObject object(cx, JS_GetFunctionObject(native));
    js::SetFunctionNativeReserved(object, 0,
                                  JS::PrivateValue(const_cast<TextFunction*>(&function)));
    if (!JS_DefineProperty(cx, *impl_->global, key.c_str(), object, 0)) {
        JS_ClearPendingException(cx);
        return false;
    }
    return true;
}

bool ScriptRealm::setGlobalString(std::string_view name, std::string_view value) {
    if (impl_->stopped()) {
        return false;
    }
    JSContext* cx = impl_->cx();
    const std::string text = validUTF8(value);
    JS::RootedString string(cx, JS_NewStringCopyUTF8N(cx, JS::UTF8Chars(text.data(), text.size())));
    if (string == nullptr) {
        JS_ClearPendingException(cx);
        return false;
    }
    JS::RootedValue stringValue(cx, JS::StringValue(string));
    const std::string key(name);
    if (!JS_SetProperty(cx, *impl_->global, key.c_str(), stringValue)) {
        JS_ClearPendingException(cx);
        return false;
    }
    return true;
}

ScriptText ScriptRealm::globalText(std::string_view name) {
    if (auto failure = impl_->stopped()) {
        return *failure;
    }
    JSContext* cx = impl_->cx();
    const std::string key(name);
    JS::RootedValue value(cx);
    if (!JS_GetProperty(cx, *impl_->global, key.c_str(), &value)) {
        return impl_->failure();
    }
    auto converted = valueText(cx, value);
    if (!converted) {
        return impl_->failure();
    }
    return std::move(*converted);
}

}  // namespace orlavine
