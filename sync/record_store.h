#pragma once
// The cloud side of sync: a per-user store of named records, each one body of bytes with a change
// tag. Every save is conditional on the tag the caller last saw, so one machine never silently
// overwrites what another wrote, whatever the server itself enforces.

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orlavine::sync {

inline constexpr const char* kDatabaseRecord = "styleDatabase";
inline constexpr const char* kPreferencesRecord = "preferences";

struct CloudError {
    enum class Kind {
        notAuthenticated,  // the account refused the credentials
        conflict,          // a conditional save found another tag
        other,             // network, server or size trouble
    };
    Kind kind = Kind::other;
    std::string message;
};

struct RemoteRecord {
    std::string tag;
    std::string body;
};

struct FetchOutcome {
    std::optional<CloudError> error;
    // The records that exist, by name; nothing when the fetch failed outright.
    std::optional<std::map<std::string, RemoteRecord>> records;
};

struct TagOutcome {
    std::optional<CloudError> error;
    std::optional<std::string> tag;  // nothing when the record does not exist
};

struct PrepareOutcome {
    std::optional<CloudError> error;
    // What setting the account up did or found that the user should know, one line each.
    std::vector<std::string> lines;
};

struct SaveOutcome {
    std::optional<CloudError> error;
    std::string tag;  // the record's tag after the save
};

class RecordStore {
  public:
    virtual ~RecordStore() = default;

    // Reads the named records; a record that does not exist is missing from the map.
    virtual FetchOutcome fetch(const std::vector<std::string>& names) = 0;
    // The current tag of a record without reading its body.
    virtual TagOutcome currentTag(const std::string& name) = 0;
    // Saves when the record's tag is still `expectedTag`, or, with no expected tag, when the
    // record does not exist yet; otherwise answers a conflict and changes nothing.
    virtual SaveOutcome save(const std::string& name, std::string_view body,
                             const std::optional<std::string>& expectedTag) = 0;
    // Whether the account answers an authenticated request.
    virtual std::optional<CloudError> checkAccount() = 0;
    // For setting the account up: makes what is missing and finds out whether sync can work
    // safely with it.
    virtual PrepareOutcome prepare() { return {checkAccount(), {}}; }
    // Blocks until the store may have changed or `timeout` passed. Stores without change notices
    // wait the whole time and answer true, so the caller polls.
    virtual bool waitForChange(std::chrono::milliseconds timeout) = 0;
    // For shutting down: ends a call that waits on the network or for a change within a second,
    // and makes later ones end at once (requests with an error). Stores whose calls never wait
    // long do nothing.
    virtual void cancel() {}
};

}  // namespace orlavine::sync
