#pragma once
// In-process notifications: a name and user info, delivered synchronously on the posting thread
// to every observer of that name. Thread-safe; observers may add or remove observers, or post,
// from inside a delivery. removeObserver waits for a delivery to that observer that is running
// on another thread, so an observer's owner may be destroyed right after removing it.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

namespace orlavine {

using NotificationValue = std::variant<std::int64_t, std::string, std::vector<std::int64_t>>;
using UserInfo = std::map<std::string, NotificationValue>;

struct Notification {
    std::string name;
    UserInfo userInfo;
};

class NotificationCenter {
  public:
    using Observer = std::function<void(const Notification&)>;
    using Token = std::uint64_t;

    Token addObserver(std::string name, Observer observer);
    void removeObserver(Token token);
    void post(std::string name, UserInfo userInfo = {});

  private:
    struct Target {
        // Recursive: an observer may remove itself from inside its delivery.
        std::recursive_mutex mutex;
        bool removed = false;
        Observer observer;
    };
    struct Entry {
        Token token;
        std::string name;
        std::shared_ptr<Target> target;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
    Token next_ = 1;
};

// Names of the notifications the core posts.
namespace notifications {
// Every change of the library: user info "ids" (the styles changed, added or removed) or
// "everything" (a reload, a merge, a change of every style).
inline constexpr const char* kLibraryChanged = "libraryChanged";
// A setting changed, here or in another program: user info "file" ("app.json", ...) and "key".
inline constexpr const char* kSettingsChanged = "settingsChanged";
inline constexpr const char* kCloseProperties = "closeProperties";
inline constexpr const char* kStyleNameChanged = "styleNameChanged";
inline constexpr const char* kUpdateFavicons = "updateFavicons";
inline constexpr const char* kRefreshTable = "refreshTable";
inline constexpr const char* kRefreshTableAndScroll = "refreshTableAndScroll";
inline constexpr const char* kAddLatestStyle = "addLatestStyle";
// Cloud sync.
inline constexpr const char* kCloudError = "iCloudError";
inline constexpr const char* kPerformFirstUpdate = "performFirstUpdate";
inline constexpr const char* kOpenStyleNotif = "openStyleNotif";
inline constexpr const char* kStylesChangedInCloud = "stylesChangedInCloud";
inline constexpr const char* kDeletedStylesChanged = "deletedStylesChanged";
inline constexpr const char* kPrefsChangedRemotely = "prefsChangedRemotely";
inline constexpr const char* kLockForCloud = "lockForiCloud";
}  // namespace notifications

}  // namespace orlavine
