#include "sync/sync_account.h"

#include "model/config.h"
#include "sync/folder_record_store.h"
#include "sync/webdav_record_store.h"

namespace orlavine::sync {
namespace {

// Whether the host part of an http(s) address carries a user name or password ("user:pw@host"):
// the settings would keep it in plain text, and the password belongs in the Secret Service.
bool holdsUserInfo(const std::string& address) {
    const std::size_t start = address.find("://") + 3;
    const std::size_t end = address.find_first_of("/?#", start);
    const std::string authority =
        address.substr(start, end == std::string::npos ? std::string::npos : end - start);
    return authority.find('@') != std::string::npos;
}

}  // namespace

Result<AccountAddress> parseAccountAddress(const std::string& server) {
    std::string base = server;
    AccountAddress address;
    if (base.starts_with("https://") || base.starts_with("http://")) {
        if (holdsUserInfo(base)) {
            return Error{kUserInfoInAddress};
        }
        address.kind = AccountKind::webdav;
        if (base.back() != '/') {
            base += '/';
        }
        address.location = base + CloudContainerIdentifier + "/";
        return address;
    }
    if (base.starts_with("file://")) {
        base = base.substr(7);
    }
    if (base.starts_with("/")) {
        address.kind = AccountKind::folder;
        address.location = (std::filesystem::path(base) / CloudContainerIdentifier).string();
        return address;
    }
    return Error{"the address must start with https://, http://, file:// or /: " + server};
}

Result<std::unique_ptr<RecordStore>> openRecordStore(const SettingsStores& settings,
                                                     const std::string& password) {
    const std::string server = settings.app.stringValue(kSyncServerKey);
    if (server.empty()) {
        return Error{"no sync account is set up; run: orlavine sync setup URL USER"};
    }
    return openRecordStore(server, settings.app.stringValue(kSyncUserKey), password,
                           settings.app.stringValue(kCertificateFileKey));
}

Result<std::unique_ptr<RecordStore>> openRecordStore(const std::string& server,
                                                     const std::string& user,
                                                     const std::string& password,
                                                     const std::string& caFile) {
    Result<AccountAddress> address = parseAccountAddress(server);
    if (!address) {
        return Error{address.error()};
    }
    if (address->kind == AccountKind::folder) {
        // Only the records' own folder is made: a chosen folder that is missing (an unmounted
        // disk, a renamed folder) must show as missing, not start an empty account.
        std::error_code ec;
        std::filesystem::create_directory(address->location, ec);
        return std::unique_ptr<RecordStore>(std::make_unique<FolderRecordStore>(address->location));
    }
    WebDavAccount account;
    account.folderURL = address->location;
    account.user = user;
    account.password = password;
    account.caFile = caFile;
    return std::unique_ptr<RecordStore>(std::make_unique<WebDavRecordStore>(std::move(account)));
}

}  // namespace orlavine::sync
