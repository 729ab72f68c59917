#include "desktop/desktop_appearance.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

namespace orlavine {
namespace {

class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

TEST(DesktopAppearance, TheOverrideWinsAndAnUnreachableBusMeansNoPreference) {
    {
        ScopedEnv forced("ORLAVINE_COLOR_SCHEME", "dark");
        EXPECT_EQ(desktopColorScheme(), ColorScheme::dark);
    }
    {
        ScopedEnv forced("ORLAVINE_COLOR_SCHEME", "light");
        EXPECT_EQ(desktopColorScheme(), ColorScheme::light);
    }
    {
        // An unknown override and an unreachable session bus mean "no preference", at once.
        ScopedEnv forced("ORLAVINE_COLOR_SCHEME", "purple");
        ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/orlavine-bus");
        EXPECT_EQ(desktopColorScheme(), std::nullopt);
    }
}

}  // namespace
}  // namespace orlavine
