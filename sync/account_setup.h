#pragma once
// Setting the sync account up, opening it again later, and signing out: what the command line's
// `sync setup` and the desktop program's account dialog share. The address and user name go to
// the application's settings only once the account has answered; the password goes to the
// Secret Service only.

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model/result.h"
#include "model/settings_store.h"
#include "sync/record_store.h"

namespace orlavine::sync {

struct AccountDetails {
    std::string server;  // an http(s) address, a file:// address or an absolute path
    std::string user;    // WebDAV only
    std::string password;
};

struct AccountSetupOutcome {
    // What setting the account up did or found that the user should know, one line each.
    std::vector<std::string> lines;
    // Why the account cannot be used; none when it was set up.
    std::optional<CloudError> error;
    // The prepared account, when it was set up.
    std::unique_ptr<RecordStore> store;
};

// A run that talks to an account on a background thread while cancel() may be called from any
// other.
class CancellableAccountRun {
  public:
    // Ends the request in flight; the run then fails and keeps nothing.
    void cancel();

  protected:
    // Marks `store` as the one in use; false when the run was cancelled already.
    bool begin(RecordStore* store);
    // Marks the end of its use; true when the run was cancelled meanwhile.
    bool end();

  private:
    std::mutex mutex_;
    RecordStore* inFlight_ = nullptr;
    bool cancelled_ = false;
};

// Tests an account and keeps it when it answers.
class AccountSetup : public CancellableAccountRun {
  public:
    AccountSetup(SettingsStores& settings, AccountDetails details);
    // Checks the address, makes the records' folder when it is missing, finds out whether the
    // server can be written safely, then keeps the account. On failure the settings are as they
    // were and no password is stored.
    AccountSetupOutcome run();

  private:
    SettingsStores& settings_;
    AccountDetails details_;
};

// Whether the account set up before answers an authenticated request.
class AccountCheck : public CancellableAccountRun {
  public:
    explicit AccountCheck(const SettingsStores& settings) : settings_(settings) {}
    // Why the account cannot be used (none set up, no password kept, it does not answer), said
    // for a person; none when it answers.
    std::optional<std::string> run();

  private:
    const SettingsStores& settings_;
};

// The account set up before, with its password from the Secret Service, or why it cannot be
// opened (none set up, no password kept, a bad address).
Result<std::unique_ptr<RecordStore>> openSavedAccount(const SettingsStores& settings);

// Forgets the account: sync off, the address and user name cleared, the password removed.
// Fails (and keeps sync off) when the settings cannot be written.
Status signOut(SettingsStores& settings);

// `error` said in the words a person setting an account up needs.
std::string describeAccountError(const CloudError& error, bool webdav);

}  // namespace orlavine::sync
