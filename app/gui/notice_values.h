#pragma once
// Library texts as Qt shows them, and what a notice's user info says.

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "model/notification_center.h"

namespace orlavine::gui {

inline QString fromStd(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The style a notice is about (its "id"), or -1.
inline std::int64_t noticeID(const Notification& n) {
    const auto it = n.userInfo.find("id");
    const auto* id = it == n.userInfo.end() ? nullptr : std::get_if<std::int64_t>(&it->second);
    return id != nullptr ? *id : -1;
}

// A text of the notice's user info ("newname"), or nothing.
inline std::optional<std::string> noticeText(const Notification& n, const std::string& key) {
    const auto it = n.userInfo.find(key);
    const auto* text = it == n.userInfo.end() ? nullptr : std::get_if<std::string>(&it->second);
    return text != nullptr ? std::optional(*text) : std::nullopt;
}

}  // namespace orlavine::gui
