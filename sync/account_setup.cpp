#include "sync/account_setup.h"

#include <boost/json/string.hpp>

#include <filesystem>
#include <utility>

#include "model/config.h"
#include "model/settings_keys.h"
#include "sync/secret_store.h"
#include "sync/sync_account.h"

namespace orlavine::sync {
namespace {

CloudError setupError(std::string message) {
    return CloudError{CloudError::Kind::other, std::move(message)};
}

std::string capitalised(std::string text) {
    if (!text.empty() && text.front() >= 'a' && text.front() <= 'z') {
        text.front() = static_cast<char>(text.front() - 'a' + 'A');
    }
    if (!text.empty() && text.back() != '.') {
        text += '.';
    }
    return text;
}

}  // namespace

void CancellableAccountRun::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (inFlight_ != nullptr) {
        inFlight_->cancel();
    }
}

bool CancellableAccountRun::begin(RecordStore* store) {
    std::lock_guard lock(mutex_);
    inFlight_ = store;
    return !cancelled_;
}

bool CancellableAccountRun::end() {
    std::lock_guard lock(mutex_);
    inFlight_ = nullptr;
    return cancelled_;
}

AccountSetup::AccountSetup(SettingsStores& settings, AccountDetails details)
    : settings_(settings), details_(std::move(details)) {}

AccountSetupOutcome AccountSetup::run() {
    AccountSetupOutcome outcome;
    Result<AccountAddress> address = parseAccountAddress(details_.server);
    if (!address) {
        outcome.error = setupError(address.error());
        return outcome;
    }
    const bool webdav = address->kind == AccountKind::webdav;
    if (webdav && details_.user.empty()) {
        outcome.error = setupError("A WebDAV account needs a user name.");
        return outcome;
    }
    if (!webdav) {
        // A mistyped folder would otherwise be made, and sync would go nowhere.
        std::error_code ec;
        const std::filesystem::path chosen = std::filesystem::path(address->location).parent_path();
        if (!std::filesystem::is_directory(chosen, ec)) {
            outcome.error = setupError("There is no folder " + chosen.string() + ".");
            return outcome;
        }
    }
    Result<std::unique_ptr<RecordStore>> store = openRecordStore(
        details_.server, webdav ? details_.user : std::string(),
        webdav ? details_.password : std::string(), settings_.app.stringValue(kCertificateFileKey));
    if (!store) {
        outcome.error = setupError(store.error());
        return outcome;
    }
    PrepareOutcome prepared;
    if (begin(store->get())) {
        prepared = (*store)->prepare();
    }
    if (end() && !prepared.error) {
        prepared.error = setupError("cancelled");
    }
    outcome.lines = std::move(prepared.lines);
    if (prepared.error) {
        outcome.error = std::move(prepared.error);
        return outcome;
    }
    if (webdav) {
        if (Status stored = storePassword(details_.server, details_.user, details_.password);
            !stored) {
            outcome.error = setupError("Cannot keep the password: " + stored.error());
            return outcome;
        }
    }
    SettingsStore& app = settings_.app;
    const std::string oldServer = app.stringValue(kSyncServerKey);
    const std::string oldUser = app.stringValue(kSyncUserKey);
    if (!app.set(kSyncServerKey, boost::json::string(details_.server)) ||
        !app.set(kSyncUserKey, boost::json::string(webdav ? details_.user : std::string()))) {
        (void)app.set(kSyncServerKey, boost::json::string(oldServer));
        (void)app.set(kSyncUserKey, boost::json::string(oldUser));
        if (webdav && (oldServer != details_.server || oldUser != details_.user)) {
            (void)clearPassword(details_.server, details_.user);
        }
        outcome.error = setupError("Cannot write the settings.");
        return outcome;
    }
    outcome.store = std::move(store).value();
    return outcome;
}

Result<std::unique_ptr<RecordStore>> openSavedAccount(const SettingsStores& settings) {
    const std::string server = settings.app.stringValue(kSyncServerKey);
    if (server.empty()) {
        return Error{"No sync account is set up."};
    }
    Result<AccountAddress> address = parseAccountAddress(server);
    if (!address) {
        return Error{address.error()};
    }
    std::string password;
    if (address->kind == AccountKind::webdav) {
        Result<std::string> stored = lookupPassword(server, settings.app.stringValue(kSyncUserKey));
        if (!stored) {
            return Error{stored.error()};
        }
        password = std::move(stored).value();
    }
    return openRecordStore(settings, password);
}

std::optional<std::string> AccountCheck::run() {
    Result<std::unique_ptr<RecordStore>> account = openSavedAccount(settings_);
    if (!account) {
        return capitalised(account.error());
    }
    std::optional<CloudError> refused;
    if (begin(account->get())) {
        refused = (*account)->checkAccount();
    }
    if (end()) {
        return "Cancelled.";
    }
    if (refused) {
        Result<AccountAddress> address =
            parseAccountAddress(settings_.app.stringValue(kSyncServerKey));
        return describeAccountError(*refused, address && address->kind == AccountKind::webdav);
    }
    return std::nullopt;
}

Status signOut(SettingsStores& settings) {
    SettingsStore& app = settings.app;
    const std::string server = app.stringValue(kSyncServerKey);
    const std::string user = app.stringValue(kSyncUserKey);
    if (!app.set(keys::kUseCloud, false) || !app.set(kSyncServerKey, boost::json::string()) ||
        !app.set(kSyncUserKey, boost::json::string())) {
        return Error{"Cannot write the settings."};
    }
    if (!server.empty() && !user.empty()) {
        // A password that is not there, or a keyring that cannot be reached, leaves nothing to
        // remove that this program could read back.
        (void)clearPassword(server, user);
    }
    return Done{};
}

std::string describeAccountError(const CloudError& error, bool webdav) {
    if (error.kind == CloudError::Kind::notAuthenticated) {
        return webdav ? "The server refused the user name or password."
                      : capitalised("the folder cannot be used: " + error.message);
    }
    return capitalised(error.message);
}

}  // namespace orlavine::sync
