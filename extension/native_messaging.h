#pragma once
// The browser's native-messaging framing: each message is a 32-bit length in native byte order
// followed by that many bytes of UTF-8 JSON, on standard input (from the browser) and standard
// output (to it). A message to the browser may be at most 1 MB; longer replies are split into
// numbered parts that the extension puts back together.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/result.h"

namespace orlavine {

// The browser refuses messages from a host above this size.
inline constexpr std::size_t kMaxMessageToBrowser = std::size_t{1024} * 1024;
// Page messages carry at most two addresses (the page's and a frame's), each up to Chromium's
// limit of 2 MB; anything larger is read past and answered with an error.
inline constexpr std::size_t kMaxMessageFromBrowser = std::size_t{16} * 1024 * 1024;
// How much of an oversized message is kept, so that its "id" can still be answered.
inline constexpr std::size_t kOversizedPrefix = 64;

struct IncomingFrame {
    enum class Kind { message, oversized, endOfStream };
    Kind kind = Kind::endOfStream;
    std::string text;                  // the message; for Kind::oversized its first bytes
    std::uint64_t declaredLength = 0;  // for Kind::oversized
};

// Reads frames from a file descriptor, blocking.
class FrameReader {
  public:
    explicit FrameReader(int fd, std::size_t maxMessage = kMaxMessageFromBrowser)
        : fd_(fd), maxMessage_(maxMessage) {}
    IncomingFrame next();

  private:
    bool readExactly(char* into, std::size_t count);
    bool skip(std::uint64_t count);

    int fd_;
    std::size_t maxMessage_;
};

// A reply text given in pieces: the text is the pieces joined, each `value` piece written as it
// would be between the quotes of a JSON string. Long values (a page's CSS) are so escaped
// straight into a long reply's parts instead of into a reply text first.
struct ReplyPiece {
    std::string_view text;
    bool value = false;
};

// Writes frames to a file descriptor; safe to call from several threads.
class FrameWriter {
  public:
    explicit FrameWriter(int fd) : fd_(fd) {}
    Status write(std::string_view message);
    // Writes `reply` (a JSON object text) whole when it fits, else as parts of the form
    // {"id":ID,"part":i,"parts":n,"data":"<piece of the reply text>"}.
    Status writeReply(std::int64_t id, std::string_view reply);
    Status writeReply(std::int64_t id, std::span<const ReplyPiece> reply);

  private:
    // Caller holds mutex_.
    Status writeFrame(std::uint32_t length, std::string_view message);
    Status writeAll(std::string_view bytes);

    int fd_;
    std::mutex mutex_;
    std::string parts_;  // the framed parts of the last long reply; kept, like its memory
    std::string text_;   // the last reply given in pieces that went whole
};

// The parts of a reply too long for one message: each is a complete JSON object no longer
// than `limit` bytes, and the "data" pieces joined give back `reply`.
std::vector<std::string> splitReply(std::int64_t id, std::string_view reply, std::size_t limit);
// The same parts, each framed (length first), built in `buffer` with the piece escaped once.
std::vector<std::string_view> framedReplyParts(std::int64_t id, std::string_view reply,
                                               std::size_t limit, std::string& buffer);
std::vector<std::string_view> framedReplyParts(std::int64_t id, std::span<const ReplyPiece> reply,
                                               std::size_t limit, std::string& buffer);

}  // namespace orlavine
