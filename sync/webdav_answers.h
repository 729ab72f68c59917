#pragma once
// How the WebDAV record store reads a server's answers; shared by its source files.

#include <cstddef>
#include <string>

#include "model/result.h"
#include "net/web_request.h"
#include "sync/record_store.h"

namespace orlavine::sync {

// Error pages, PROPFIND and LOCK answers are small; only record bodies may be large.
inline constexpr std::size_t kMaxReplyBytes = 256u * 1024u;

inline bool refused(long status) {
    return status == 401 || status == 403;
}

inline bool answered(const Result<WebAnswer>& r, long status) {
    return r && r->status == status;
}

inline CloudError failure(const Result<WebAnswer>& r) {
    if (!r) {
        return CloudError{CloudError::Kind::other, r.error()};
    }
    if (refused(r->status)) {
        return CloudError{CloudError::Kind::notAuthenticated,
                          "the server refused the credentials (" + std::to_string(r->status) + ")"};
    }
    if (r->status == 507) {
        return CloudError{CloudError::Kind::other, "the account is out of space (507)"};
    }
    return CloudError{CloudError::Kind::other, "the server answered " + std::to_string(r->status)};
}

}  // namespace orlavine::sync
