#include "model/style_preview.h"

#include <signal.h>

#include <cerrno>
#include <charconv>
#include <unordered_map>

#include "model/record_json.h"
#include "model/style_factory.h"

namespace orlavine {
namespace {

constexpr std::string_view kHeader = "orlavine-preview 1 ";

bool running(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

}  // namespace

std::string encodePreviews(const StylePreviews& previews) {
    styleDatabase db = newDatabase();
    db.styles = previews.styles;
    return std::string(kHeader) + std::to_string(previews.sender) + "\n" + encodeDatabase(db);
}

Result<StylePreviews> decodePreviews(std::string_view bytes) {
    if (bytes.size() > kMaxPreviewBytes) {
        return Error{"the preview is too large"};
    }
    if (!bytes.starts_with(kHeader)) {
        return Error{"not a preview"};
    }
    bytes.remove_prefix(kHeader.size());
    const std::size_t end = bytes.find('\n');
    if (end == std::string_view::npos) {
        return Error{"not a preview"};
    }
    StylePreviews previews;
    const auto [rest, ec] = std::from_chars(bytes.data(), bytes.data() + end, previews.sender);
    if (ec != std::errc() || rest != bytes.data() + end) {
        return Error{"not a preview"};
    }
    Result<styleDatabase> db = decodeDatabase(bytes.substr(end + 1));
    if (!db) {
        return Error{db.error()};
    }
    previews.styles = std::move(db->styles);
    return previews;
}

std::vector<styleContainer> livePreviews(std::string_view bytes) {
    Result<StylePreviews> previews = decodePreviews(bytes);
    if (!previews || !running(previews->sender)) {
        return {};
    }
    return std::move(previews->styles);
}

styleDatabase withPreviews(styleDatabase db, const std::vector<styleContainer>& previews) {
    std::unordered_map<std::int64_t, const styleContainer*> byID;
    for (const styleContainer& preview : previews) {
        byID[preview.uniqueID] = &preview;
    }
    for (styleContainer& style : db.styles) {
        const auto found = byID.find(style.uniqueID);
        if (found != byID.end()) {
            const bool enabled = style.isEnabled;
            style = *found->second;
            style.isEnabled = enabled;
        }
    }
    return db;
}

}  // namespace orlavine
