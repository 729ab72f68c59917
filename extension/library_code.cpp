#include "extension/library_code.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "extension/section_emptiness.h"

namespace orlavine {
namespace {

// The first byte past white space written as itself or as a short escape.
std::size_t skipSpace(std::string_view stored, std::size_t i) {
    while (i < stored.size()) {
        if (stored[i] == ' ') {
            ++i;
        } else if (stored[i] == '\\' && i + 1 < stored.size() &&
                   (stored[i + 1] == 'n' || stored[i + 1] == 't' || stored[i + 1] == 'r' ||
                    stored[i + 1] == 'f')) {
            i += 2;
        } else {
            break;
        }
    }
    return i;
}

// Whether the stored (escaped) text surely injects something: past white space and comments
// comes a character other than '/', or an at-rule other than @namespace. Anything less plain
// (another escape, a non-ASCII character, an unclosed comment) leaves the question open.
bool surelyNotEmpty(std::string_view stored) {
    constexpr std::string_view kNamespace = "@namespace";
    std::size_t i = skipSpace(stored, 0);
    while (stored.substr(i).starts_with("/*")) {
        std::size_t at = i + 2;
        while (at < stored.size() && !stored.substr(at).starts_with("*/")) {
            if (stored[at] == '\\') {
                return false;  // "*\/" would close the comment too
            }
            ++at;
        }
        if (at >= stored.size()) {
            return false;
        }
        i = skipSpace(stored, at + 2);
    }
    if (i >= stored.size()) {
        return false;
    }
    const auto c = static_cast<unsigned char>(stored[i]);
    if (c >= 0x80 || c == '\\' || c == '/') {
        return false;
    }
    if (c == '@') {
        // Written plainly and not the start of "@namespace": another at-rule.
        const std::string_view start = stored.substr(i, kNamespace.size());
        for (const char b : start) {
            if (b == '\\' || static_cast<unsigned char>(b) >= 0x80) {
                return false;
            }
        }
        return start != kNamespace.substr(0, start.size());
    }
    return true;
}

// Reads up to `length` bytes at `offset` into `out`, which keeps what could be read.
void readUpTo(int fd, std::uint64_t offset, std::string& out, std::size_t length) {
    out.resize(length);
    std::size_t filled = 0;
    while (filled < length) {
        const ssize_t n =
            ::pread(fd, out.data() + filled, length - filled, static_cast<off_t>(offset + filled));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        filled += static_cast<std::size_t>(n);
    }
    out.resize(filled);
}

// Reads `length` bytes at `offset`; false when the file holds fewer.
bool readAt(int fd, std::uint64_t offset, std::string& out, std::size_t length) {
    readUpTo(fd, offset, out, length);
    return out.size() == length;
}

const std::string kNoText;

}  // namespace

std::shared_ptr<const LibraryCode> LibraryCode::make(const LibraryOutline& outline,
                                                     FileHandle file) {
    std::vector<CodeSpan> spans;
    spans.reserve(outline.storedCode().size());
    for (std::string_view stored : outline.storedCode()) {
        CodeSpan span;
        span.offset = outline.offsetInText(stored);
        span.length = static_cast<std::uint32_t>(stored.size());
        if (!surelyNotEmpty(stored)) {
            // Rare enough to decode here: white space, comments, @namespace, odd openings.
            const auto text = LibraryOutline::decodeStored(LibraryOutline::quoted(stored));
            span.injectsNothing = !text || isEmptySectionText(*text);
        }
        spans.push_back(span);
    }
    const std::uint64_t skeleton = skeletonChecksum(outline.text(), spans);
    return std::shared_ptr<const LibraryCode>(
        new LibraryCode(std::move(file), std::move(spans), skeleton));
}

std::shared_ptr<const LibraryCode> LibraryCode::make(LibraryIndex& index, FileHandle file) {
    return std::shared_ptr<const LibraryCode>(
        new LibraryCode(std::move(file), std::move(index.spans), index.skeleton));
}

LibraryCode::LibraryCode(FileHandle file, std::vector<CodeSpan> spans, std::uint64_t skeleton)
    : file_(std::move(file)),
      spans_(std::move(spans)),
      skeleton_(skeleton),
      decoded_(std::make_unique<std::atomic<const std::string*>[]>(spans_.size())) {}

LibraryCode::~LibraryCode() {
    for (std::size_t i = 0; i < spans_.size(); ++i) {
        delete decoded_[i].load(std::memory_order_relaxed);
    }
}

bool LibraryCode::isEmpty(std::size_t place) const {
    return place >= spans_.size() || spans_[place].injectsNothing;
}

bool LibraryCode::allReadBack() const {
    constexpr std::size_t kWindow = std::size_t{4} << 20;
    std::string window;
    std::uint64_t windowStart = 0;
    for (const CodeSpan& span : spans_) {
        const std::size_t quotedLength = std::size_t{span.length} + 1;
        if (span.offset < windowStart || span.offset + quotedLength > windowStart + window.size()) {
            // Spans follow one another through the file: read on from this one.
            windowStart = span.offset;
            if (!readAt(file_.get(), span.offset, window, std::max(kWindow, quotedLength))) {
                // Near the end of the file a full window is not there; the span must be.
                if (window.size() < quotedLength) {
                    return false;
                }
            }
        }
        const auto at = static_cast<std::size_t>(span.offset - windowStart);
        if (!LibraryOutline::readsBack(std::string_view(window).substr(at, quotedLength))) {
            return false;
        }
    }
    return true;
}

std::string_view LibraryCode::text(std::size_t place) const {
    if (place >= spans_.size()) {
        return kNoText;
    }
    std::atomic<const std::string*>& slot = decoded_[place];
    if (const std::string* known = slot.load(std::memory_order_acquire)) {
        return *known;
    }
    // The contents and the closing quote, checked again: the file is meant to be replaced
    // whole, but a program that writes it in place must not make the host decode garbage.
    std::string quoted;
    std::optional<std::string> text;
    if (readAt(file_.get(), spans_[place].offset, quoted, spans_[place].length + std::size_t{1})) {
        text = LibraryOutline::decodeStored(quoted);
    }
    auto* fresh = new std::string(text ? std::move(*text) : std::string());
    const std::string* expected = nullptr;
    if (!slot.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) {
        delete fresh;  // another thread decoded it first
        return *expected;
    }
    return *fresh;
}

}  // namespace orlavine
