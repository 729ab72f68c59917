#pragma once
// The sync account: the server address and user name live in the application's settings, the
// password in the Secret Service. An http(s) address names a WebDAV account; a file:// address or
// an absolute path names a folder kept in step by other means.

#include <memory>
#include <string>

#include "model/result.h"
#include "model/settings_store.h"
#include "sync/record_store.h"

namespace orlavine::sync {

inline constexpr const char* kSyncServerKey = "SyncServer";
inline constexpr const char* kSyncUserKey = "SyncUser";

enum class AccountKind { webdav, folder };

struct AccountAddress {
    AccountKind kind = AccountKind::webdav;
    // WebDAV: the folder URL holding the records; folder: the folder's path.
    std::string location;
};

inline constexpr const char* kUserInfoInAddress =
    "The address must not hold a user name or password; give the user name separately and the "
    "password when asked.";

// Checks an address the user gave and says where the records go. Refuses anything but http,
// https, file:// and absolute paths, and http(s) addresses that hold a user name or password.
Result<AccountAddress> parseAccountAddress(const std::string& server);

// The record store of the account in the settings; `password` is used for WebDAV accounts.
Result<std::unique_ptr<RecordStore>> openRecordStore(const SettingsStores& settings,
                                                     const std::string& password);
// The record store of the account at `server`, which need not be the one in the settings.
Result<std::unique_ptr<RecordStore>> openRecordStore(const std::string& server,
                                                     const std::string& user,
                                                     const std::string& password,
                                                     const std::string& caFile);

}  // namespace orlavine::sync
