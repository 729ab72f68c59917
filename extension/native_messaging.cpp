#include "extension/native_messaging.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "extension/json_escape.h"

namespace orlavine {
namespace {

// Room for {"id":...,"part":...,"parts":...,"data":""} around each piece of a split reply.
constexpr std::size_t kEnvelope = 96;

}  // namespace

std::vector<std::string_view> framedReplyParts(std::int64_t id, std::string_view reply,
                                               std::size_t limit, std::string& buffer) {
    const ReplyPiece whole{reply, false};
    return framedReplyParts(id, std::span(&whole, 1), limit, buffer);
}

std::vector<std::string_view> framedReplyParts(std::int64_t id, std::span<const ReplyPiece> reply,
                                               std::size_t limit, std::string& buffer) {
    // One pass: each piece is escaped after a gap that later takes the frame's length and the
    // part's envelope, whose "parts" count is known only at the end. A value is escaped twice
    // at once: once as it stands in the reply text, once more as the part carries that text.
    const std::size_t budget = limit > kEnvelope + 7 ? limit - kEnvelope : 7;
    constexpr std::size_t kGap = kEnvelope + sizeof(std::uint32_t);
    std::size_t size = 0;
    for (const ReplyPiece& piece : reply) {
        size += piece.text.size();
    }
    buffer.clear();
    buffer.reserve(size + size / 4 + budget + kGap * (size / budget + 2));
    std::vector<std::pair<std::size_t, std::size_t>> pieces;  // where each escaped piece lies
    std::size_t next = 0;                                     // the reply piece to go on with
    std::size_t taken = 0;                                    // how much of it is in earlier parts
    do {
        buffer.append(kGap, ' ');
        const std::size_t from = buffer.size();
        while (next < reply.size()) {
            const ReplyPiece& piece = reply[next];
            const std::size_t room = budget - (buffer.size() - from);
            const std::string_view rest = piece.text.substr(taken);
            taken += piece.value ? appendTwiceEscapedWithin(buffer, rest, room)
                                 : appendEscapedWithin(buffer, rest, room);
            if (taken < piece.text.size()) {
                break;  // the part is full
            }
            ++next;
            taken = 0;
        }
        pieces.emplace_back(from, buffer.size());
        buffer += "\"}";
    } while (next < reply.size());

    std::vector<std::string_view> frames;
    const std::string tail = ",\"parts\":" + std::to_string(pieces.size()) + ",\"data\":\"";
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::string head =
            "{\"id\":" + std::to_string(id) + ",\"part\":" + std::to_string(i) + tail;
        const auto [from, to] = pieces[i];
        const auto length = static_cast<std::uint32_t>(head.size() + (to - from) + 2);
        char* at = buffer.data() + from - head.size() - sizeof length;
        std::memcpy(at, &length, sizeof length);
        std::memcpy(at + sizeof length, head.data(), head.size());
        frames.emplace_back(at, sizeof length + length);
    }
    return frames;
}

namespace {}  // namespace

bool FrameReader::readExactly(char* into, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::read(fd_, into, count);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        into += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

bool FrameReader::skip(std::uint64_t count) {
    char buffer[64 * 1024];
    while (count > 0) {
        const std::size_t step =
            count < sizeof buffer ? static_cast<std::size_t>(count) : sizeof buffer;
        if (!readExactly(buffer, step)) {
            return false;
        }
        count -= step;
    }
    return true;
}

IncomingFrame FrameReader::next() {
    std::uint32_t length = 0;
    if (!readExactly(reinterpret_cast<char*>(&length), sizeof length)) {
        return {};
    }
    IncomingFrame frame;
    if (length > maxMessage_) {
        // Read past it so the next frame starts where it should, keeping its first bytes.
        frame.text.resize(std::min<std::size_t>(length, kOversizedPrefix));
        if (!readExactly(frame.text.data(), frame.text.size()) ||
            !skip(length - frame.text.size())) {
            return {};
        }
        frame.kind = IncomingFrame::Kind::oversized;
        frame.declaredLength = length;
        return frame;
    }
    frame.text.resize(length);
    if (!readExactly(frame.text.data(), length)) {
        return {};
    }
    frame.kind = IncomingFrame::Kind::message;
    return frame;
}

Status FrameWriter::write(std::string_view message) {
    if (message.size() > kMaxMessageToBrowser) {
        return Error{"message too long for the browser"};
    }
    const auto length = static_cast<std::uint32_t>(message.size());
    std::lock_guard lock(mutex_);
    return writeFrame(length, message);
}

Status FrameWriter::writeAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Error{std::string("cannot write to the browser: ") + std::strerror(errno)};
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return Done{};
}

Status FrameWriter::writeFrame(std::uint32_t length, std::string_view message) {
    // The length and the message go out in one call without being copied together.
    iovec pieces[2] = {{const_cast<std::uint32_t*>(&length), sizeof length},
                       {const_cast<char*>(message.data()), message.size()}};
    std::size_t first = 0;
    while (first < 2) {
        const ssize_t n = ::writev(fd_, pieces + first, static_cast<int>(2 - first));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Error{std::string("cannot write to the browser: ") + std::strerror(errno)};
        }
        auto written = static_cast<std::size_t>(n);
        while (first < 2 && written >= pieces[first].iov_len) {
            written -= pieces[first].iov_len;
            ++first;
        }
        if (first < 2) {
            pieces[first].iov_base = static_cast<char*>(pieces[first].iov_base) + written;
            pieces[first].iov_len -= written;
        }
    }
    return Done{};
}

Status FrameWriter::writeReply(std::int64_t id, std::string_view reply) {
    if (reply.size() <= kMaxMessageToBrowser) {
        return write(reply);
    }
    std::lock_guard lock(mutex_);  // the parts of one reply are not interleaved with events
    for (std::string_view frame : framedReplyParts(id, reply, kMaxMessageToBrowser, parts_)) {
        if (Status written = writeAll(frame); !written) {
            return written;
        }
    }
    return Done{};
}

Status FrameWriter::writeReply(std::int64_t id, std::span<const ReplyPiece> reply) {
    std::size_t size = 0;
    for (const ReplyPiece& piece : reply) {
        size += piece.text.size();
    }
    std::lock_guard lock(mutex_);  // text_ and parts_ are the writer's; parts are not interleaved
    // Escaping only lengthens a text: a reply whose pieces are already too long goes straight
    // into parts, and one that might fit is written out to see.
    if (size <= kMaxMessageToBrowser) {
        text_.clear();
        text_.reserve(size + size / 8 + 64);
        for (const ReplyPiece& piece : reply) {
            if (piece.value) {
                appendEscapedWithin(text_, piece.text, SIZE_MAX);
            } else {
                text_ += piece.text;
            }
        }
        if (text_.size() <= kMaxMessageToBrowser) {
            return writeFrame(static_cast<std::uint32_t>(text_.size()), text_);
        }
    }
    for (std::string_view frame : framedReplyParts(id, reply, kMaxMessageToBrowser, parts_)) {
        if (Status written = writeAll(frame); !written) {
            return written;
        }
    }
    return Done{};
}

std::vector<std::string> splitReply(std::int64_t id, std::string_view reply, std::size_t limit) {
    std::string buffer;
    std::vector<std::string> parts;
    for (std::string_view frame : framedReplyParts(id, reply, limit, buffer)) {
        parts.emplace_back(frame.substr(sizeof(std::uint32_t)));
    }
    return parts;
}

}  // namespace orlavine
