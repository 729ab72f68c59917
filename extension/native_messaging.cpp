#include "extension/native_messaging.h"

#include <unistd.h>

#include <boost/json/serialize.hpp>
#include <boost/json/string_view.hpp>
#include <cerrno>
#include <cstring>

namespace orlavine {
namespace {

// Bytes that one character of `text` at `i` takes once written as a JSON string, and how many
// bytes of `text` that character spans (whole UTF-8 sequences are never split).
std::pair<std::size_t, std::size_t> escapedCharacter(std::string_view text, std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
        if (c == '"' || c == '\\') {
            return {2, 1};
        }
        return {c < 0x20 ? 6 : 1, 1};
    }
    std::size_t length = 1;
    if ((c & 0xE0) == 0xC0) {
        length = 2;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4;
    }
    length = std::min(length, text.size() - i);
    return {length, length};
}

}  // namespace

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
    std::string frame(reinterpret_cast<const char*>(&length), sizeof length);
    frame.append(message);
    std::lock_guard lock(mutex_);
    std::string_view rest = frame;
    while (!rest.empty()) {
        const ssize_t n = ::write(fd_, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Error{std::string("cannot write to the browser: ") + std::strerror(errno)};
        }
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    return Done{};
}

Status FrameWriter::writeReply(std::int64_t id, std::string_view reply) {
    if (reply.size() <= kMaxMessageToBrowser) {
        return write(reply);
    }
    for (const std::string& part : splitReply(id, reply, kMaxMessageToBrowser)) {
        if (Status written = write(part); !written) {
            return written;
        }
    }
    return Done{};
}

std::vector<std::string> splitReply(std::int64_t id, std::string_view reply, std::size_t limit) {
    // Room for {"id":...,"part":...,"parts":...,"data":""} around each piece.
    constexpr std::size_t kEnvelope = 96;
    const std::size_t budget = limit > kEnvelope + 6 ? limit - kEnvelope : 6;
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    std::size_t escaped = 0;
    for (std::size_t i = 0; i < reply.size();) {
        const auto [cost, span] = escapedCharacter(reply, i);
        if (escaped + cost > budget) {
            pieces.push_back(reply.substr(start, i - start));
            start = i;
            escaped = 0;
        }
        escaped += cost;
        i += span;
    }
    pieces.push_back(reply.substr(start));

    std::vector<std::string> parts;
    parts.reserve(pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        parts.push_back("{\"id\":" + std::to_string(id) + ",\"part\":" + std::to_string(i) +
                        ",\"parts\":" + std::to_string(pieces.size()) + ",\"data\":" +
                        boost::json::serialize(boost::json::string_view(pieces[i])) + "}");
    }
    return parts;
}

}  // namespace orlavine
