#include "desktop/desktop_appearance.h"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace orlavine {
namespace {

// The desktop portal answers 1 for "prefer dark", 2 for "prefer light", 0 for no preference.
std::optional<ColorScheme> fromPortalValue(std::uint32_t value) {
    if (value == 1) {
        return ColorScheme::dark;
    }
    if (value == 2) {
        return ColorScheme::light;
    }
    return std::nullopt;
}

// Reads a uint32 that may be wrapped in one or two variants (the two portal methods differ).
bool readWrappedUInt(sd_bus_message* reply, std::uint32_t* out) {
    for (int depth = 0; depth < 3; ++depth) {
        char type = 0;
        const char* contents = nullptr;
        if (sd_bus_message_peek_type(reply, &type, &contents) <= 0) {
            return false;
        }
        if (type == 'u') {
            return sd_bus_message_read_basic(reply, 'u', out) > 0;
        }
        if (type != 'v' || sd_bus_message_enter_container(reply, 'v', contents) <= 0) {
            return false;
        }
    }
    return false;
}

std::optional<ColorScheme> askPortal() {
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr) {
        return std::nullopt;
    }
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        return std::nullopt;
    }
    sd_bus_set_method_call_timeout(bus, 500000);  // half a second: never hold up start-up
    std::optional<ColorScheme> scheme;
    for (const char* method : {"ReadOne", "Read"}) {
        sd_bus_error error{nullptr, nullptr, 0};
        sd_bus_message* reply = nullptr;
        const int r = sd_bus_call_method(bus, "org.freedesktop.portal.Desktop",
                                         "/org/freedesktop/portal/desktop",
                                         "org.freedesktop.portal.Settings", method, &error, &reply,
                                         "ss", "org.freedesktop.appearance", "color-scheme");
        sd_bus_error_free(&error);
        std::uint32_t value = 0;
        const bool read = r >= 0 && readWrappedUInt(reply, &value);
        sd_bus_message_unref(reply);
        if (read) {
            scheme = fromPortalValue(value);
            break;
        }
    }
    sd_bus_flush_close_unref(bus);
    return scheme;
}

}  // namespace

std::optional<ColorScheme> desktopColorScheme() {
    if (const char* forced = std::getenv("ORLAVINE_COLOR_SCHEME")) {
        const std::string_view value(forced);
        if (value == "dark") {
            return ColorScheme::dark;
        }
        if (value == "light") {
            return ColorScheme::light;
        }
    }
    return askPortal();
}

}  // namespace orlavine
