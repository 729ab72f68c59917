#include "sync/secret_store.h"

#include <libsecret/secret.h>

#include <memory>

namespace orlavine::sync {
namespace {

const SecretSchema* schema() {
    static const SecretSchema kSchema = {"org.orlavine.Sync",
                                         SECRET_SCHEMA_NONE,
                                         {
                                             {"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                             {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                             {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         },
                                         0,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr};
    return &kSchema;
}

std::string takeError(GError* error) {
    std::string message =
        error != nullptr && error->message != nullptr ? error->message : "unknown error";
    if (error != nullptr) {
        g_error_free(error);
    }
    return "Secret Service: " + message;
}

}  // namespace

Status storePassword(const std::string& server, const std::string& user,
                     const std::string& password) {
    GError* error = nullptr;
    const std::string label = "Orlavine sync password for " + user + " at " + server;
    const gboolean stored = secret_password_store_sync(
        schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), password.c_str(), nullptr, &error,
        "server", server.c_str(), "user", user.c_str(), nullptr);
    if (!stored) {
        return Error{takeError(error)};
    }
    return Done{};
}

Result<std::string> lookupPassword(const std::string& server, const std::string& user) {
    GError* error = nullptr;
    gchar* found = secret_password_lookup_sync(schema(), nullptr, &error, "server", server.c_str(),
                                               "user", user.c_str(), nullptr);
    if (error != nullptr) {
        return Error{takeError(error)};
    }
    if (found == nullptr) {
        return Error{"no password is stored for " + user + " at " + server};
    }
    std::string password = found;
    secret_password_free(found);
    return password;
}

Status clearPassword(const std::string& server, const std::string& user) {
    GError* error = nullptr;
    secret_password_clear_sync(schema(), nullptr, &error, "server", server.c_str(), "user",
                               user.c_str(), nullptr);
    if (error != nullptr) {
        return Error{takeError(error)};
    }
    return Done{};
}

}  // namespace orlavine::sync
