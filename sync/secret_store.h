#pragma once
// The account password in the desktop Secret Service (GNOME Keyring, KWallet, ...) through
// libsecret; it is never written to a settings file.

#include <string>

#include "model/result.h"

namespace orlavine::sync {

Status storePassword(const std::string& server, const std::string& user,
                     const std::string& password);
// Fails when no password is stored or the Secret Service cannot be reached.
Result<std::string> lookupPassword(const std::string& server, const std::string& user);
Status clearPassword(const std::string& server, const std::string& user);

}  // namespace orlavine::sync
