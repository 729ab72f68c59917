#pragma once
// One connection of the browser to the native host: reads requests, answers them through the
// handler, and pushes notices when the library changes or the styles switch flips.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "extension/cached_library.h"
#include "extension/extension_handler.h"
#include "extension/native_messaging.h"
#include "model/file_handle.h"
#include "model/reporter.h"

namespace orlavine {

class HostSession {
  public:
    HostSession(FrameWriter& writer, SafariExtensionHandler& handler, CachedLibrary& library,
                NotificationCenter& nc, Reporter& console);
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // Answers one request text. A request that cannot be answered gets a console line and, when
    // its "id" can be read, the error reply {"id": ID, "error": "<what was wrong>"}.
    void handleRequest(std::string_view text);
    // Reads and answers requests until the browser closes the connection.
    void run(FrameReader& reader);
    // A change notice with the encoded library: replaces the cached copy and tells the page.
    // With the notice's open file, the styles' code is read from it as pages need it.
    void libraryChanged(std::string bytes, FileHandle file = FileHandle());
    // A preview message from the desktop program: shows its styles (or the saved ones again)
    // and tells the page.
    void previewChanged(std::string_view bytes);

  private:
    void sendEvent(std::string_view json);
    void sendError(std::int64_t id, std::string_view message);
    void sendReply(std::int64_t id, std::string_view text);

    FrameWriter& writer_;
    SafariExtensionHandler& handler_;
    CachedLibrary& library_;
    NotificationCenter& nc_;
    Reporter& console_;
    NotificationCenter::Token toggleObserver_;
    NotificationCenter::Token refreshObserver_;
    std::string replyBuffer_;  // page replies, written by run()'s thread only
};

}  // namespace orlavine
