// Feeds arbitrary bytes to the browser host as one native message: whatever arrives, the host
// answers or stays silent, and never crashes.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "extension/host_session.h"
#include "model/record_json.h"

namespace {

class NullReporter : public orlavine::Reporter {
  public:
    void consoleLine(std::string_view) override {}
    void showAlert(std::string_view, std::string_view) override {}
};

struct Host {
    Host() {
        const auto dir = std::filesystem::temp_directory_path() / "orlavine-host-fuzz";
        std::filesystem::create_directories(dir);
        setenv("ORLAVINE_APP", "/bin/true", 1);
        orlavine::styleDatabase db;
        orlavine::styleContainer s;
        s.uniqueID = 1;
        s.styleData.name = "s";
        s.styleData.sections.push_back({{}, {}, {"example.com"}, {"https?://.*"}, "a{}", {}, {}});
        s.allowIframe = true;
        db.styles.push_back(s);
        library.replaceFromBytes(orlavine::encodeDatabase(db));
        settings.emplace(dir);
        handler.emplace(*settings, library, nc, "styles.test");
        session.emplace(writer, *handler, library, nc, reporter);
    }
    NullReporter reporter;
    orlavine::NotificationCenter nc;
    std::optional<orlavine::SettingsStores> settings;
    orlavine::CachedLibrary library{std::filesystem::temp_directory_path(), reporter};
    orlavine::FrameWriter writer{::open("/dev/null", O_WRONLY | O_CLOEXEC)};
    std::optional<orlavine::SafariExtensionHandler> handler;
    std::optional<orlavine::HostSession> session;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Host host;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // Requests that would start the desktop program or flip settings are answered too, but
    // the fuzzer should not spend its time on process launches and file writes.
    if (text.find("openStyle") != std::string_view::npos ||
        text.find("launchApp") != std::string_view::npos ||
        text.find("toggleStyles") != std::string_view::npos ||
        text.find("setEnableStyles") != std::string_view::npos) {
        return 0;
    }
    host.session->handleRequest(text);
    return 0;
}
