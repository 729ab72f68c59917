#include "extension/host_session.h"

#include "model/style_preview.h"

#include <fmt/format.h>
#include <algorithm>
#include <boost/json.hpp>
#include <charconv>

#include "extension/app_launcher.h"
#include "extension/json_escape.h"
#include "model/settings_keys.h"

namespace orlavine {
namespace {

// Values from this length on are escaped where they stand instead of into the reply text.
constexpr std::size_t kLongValue = 4096;

namespace json = boost::json;

std::optional<std::string> stringMember(const json::object& o, std::string_view key) {
    const json::value* v = o.if_contains(key);
    if (v == nullptr || !v->is_string()) {
        return std::nullopt;
    }
    return std::string(v->get_string());
}

json::value popoverJson(const PopoverState& state) {
    json::array styles;
    for (const styleKeys& key : state.styles) {
        styles.push_back(json::object{{"name", key.name}, {"id", key.id}});
    }
    return json::object{{"enableStyles", state.enableStyles}, {"styles", std::move(styles)}};
}

// The "id" of a request that could not be read as a whole: the extension writes it first, so
// it can be taken from the text's beginning ({"id":7,...).
std::optional<std::int64_t> leadingId(std::string_view text) {
    std::size_t i = 0;
    auto skipSpace = [&] {
        while (i < text.size() &&
               (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) {
            ++i;
        }
    };
    auto take = [&](std::string_view s) {
        skipSpace();
        if (text.substr(i).starts_with(s)) {
            i += s.size();
            return true;
        }
        return false;
    };
    if (!take("{") || !take("\"id\"") || !take(":")) {
        return std::nullopt;
    }
    skipSpace();
    std::int64_t id = 0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), id);
    if (ec != std::errc{} || end == text.data() + i) {
        return std::nullopt;
    }
    const std::size_t after = static_cast<std::size_t>(end - text.data());
    if (after < text.size() && (text[after] == '.' || text[after] == 'e' || text[after] == 'E')) {
        return std::nullopt;  // not a whole number
    }
    return id;
}

}  // namespace

HostSession::HostSession(FrameWriter& writer, SafariExtensionHandler& handler,
                         CachedLibrary& library, NotificationCenter& nc, Reporter& console)
    : writer_(writer), handler_(handler), library_(library), nc_(nc), console_(console) {
    toggleObserver_ = nc_.addObserver(kToggleStylesNotification, [this](const Notification&) {
        const auto state = handler_.popoverState(std::nullopt);
        sendEvent(
            fmt::format(R"({{"event":"toggleStyles","enableStyles":{}}})", state.enableStyles));
    });
    refreshObserver_ = nc_.addObserver(kRefreshCSSNotification, [this](const Notification&) {
        sendEvent(R"({"event":"updateCSS"})");
    });
}

HostSession::~HostSession() {
    nc_.removeObserver(toggleObserver_);
    nc_.removeObserver(refreshObserver_);
}

void HostSession::sendEvent(std::string_view text) {
    if (Status sent = writer_.write(text); !sent) {
        console_.consoleLine(sent.error());
    }
}

void HostSession::sendError(std::int64_t id, std::string_view message) {
    const json::object reply{{"id", id},
                             {"error", json::string_view(message.data(), message.size())}};
    if (Status sent = writer_.write(json::serialize(reply)); !sent) {
        console_.consoleLine(sent.error());
    }
}

void HostSession::libraryChanged(std::string bytes, FileHandle file) {
    if (!library_.replaceFromFile(std::move(bytes), std::move(file))) {
        return;
    }
    console_.consoleLine("styleDB changed, updating CSS!");
    sendEvent(R"({"event":"updateCSS"})");
}

void HostSession::previewChanged(std::string_view bytes) {
    library_.setPreviews(livePreviews(bytes));
    sendEvent(R"({"event":"updateCSS"})");
}

void HostSession::handleRequest(std::string_view text) {
    json::parse_options options;
    options.max_depth = 16;
    boost::system::error_code ec;
    json::value parsed = json::parse(json::string_view(text.data(), text.size()), ec, {}, options);
    const json::object* request = !ec && parsed.is_object() ? &parsed.get_object() : nullptr;
    const json::value* idValue = request ? request->if_contains("id") : nullptr;
    const auto name = request ? stringMember(*request, "name") : std::nullopt;
    if (idValue == nullptr || !idValue->is_int64() || !name) {
        console_.consoleLine(fmt::format("Ignoring a malformed message of {} bytes.", text.size()));
        std::optional<std::int64_t> id;
        if (idValue != nullptr && idValue->is_int64()) {
            id = idValue->get_int64();
        } else if (request == nullptr) {
            id = leadingId(text);
        }
        if (id) {
            sendError(*id, "malformed request");
        }
        return;
    }
    const std::int64_t id = idValue->get_int64();
    const std::optional<std::string> url = stringMember(*request, "url");

    json::object reply;
    reply["id"] = id;
    if (*name == "popoverState") {
        reply["popover"] = popoverJson(handler_.popoverState(url));
    } else if (*name == "setEnableStyles") {
        const json::value* enabled = request->if_contains("enabled");
        if (enabled == nullptr || !enabled->is_bool()) {
            console_.consoleLine("Ignoring setEnableStyles without a true or false value.");
            sendError(id, "setEnableStyles needs \"enabled\": true or false");
            return;
        }
        reply["popover"] = popoverJson(handler_.setEnableStyles(enabled->get_bool(), url));
    } else if (*name == "openStyle" || *name == "launchApp") {
        std::vector<std::string> arguments;
        if (*name == "openStyle") {
            const json::value* styleID = request->if_contains("styleID");
            if (styleID == nullptr || !styleID->is_int64()) {
                console_.consoleLine("Ignoring openStyle without a style number.");
                sendError(id, "openStyle needs a numeric \"styleID\"");
                return;
            }
            arguments.push_back("orlavine://openstyle/" + std::to_string(styleID->get_int64()));
        }
        if (Status launched = launchApplication(arguments); !launched) {
            console_.consoleLine(launched.error());
        }
        reply["popover"] = nullptr;
    } else {
        static constexpr std::string_view kPageMessages[] = {
            "urlChanged", "getCSS", "updateCSS", "toggleStyles", "iframeCSS", "updateiFrame"};
        if (std::find(std::begin(kPageMessages), std::end(kPageMessages), *name) ==
            std::end(kPageMessages)) {
            console_.consoleLine(fmt::format("Ignoring the unknown message \"{}\".", *name));
            sendError(id, "unknown request");
            return;
        }
        PageMessage message{*name, url, std::nullopt};
        if (const json::value* info = request->if_contains("userInfo"); info && info->is_object()) {
            PageUserInfo entries;
            for (const auto& member : info->get_object()) {
                if (member.value().is_string()) {
                    entries.emplace(member.key(), member.value().get_string());
                }
            }
            message.userInfo = std::move(entries);
        }
        // Written straight out, not through a JSON document. Long values (a page's CSS) stay
        // where they are and are escaped once, in bulk, into the message or straight into the
        // parts of a long reply. The buffer is kept between requests.
        const std::vector<PageDispatch> dispatches = handler_.messageReceived(message);
        std::string& replyText = replyBuffer_;
        replyText.clear();
        std::vector<std::pair<std::size_t, std::string_view>> values;  // (place in text, value)
        replyText += "{\"id\":" + std::to_string(id) + ",\"messages\":[";
        bool firstDispatch = true;
        for (const PageDispatch& dispatch : dispatches) {
            replyText += firstDispatch ? "{\"name\":" : ",{\"name\":";
            firstDispatch = false;
            appendJsonString(replyText, dispatch.name);
            replyText += ",\"userInfo\":{";
            bool firstEntry = true;
            for (const auto& [key, value] : dispatch.userInfo) {
                if (!firstEntry) {
                    replyText += ',';
                }
                firstEntry = false;
                appendJsonString(replyText, key);
                if (value.size() < kLongValue) {
                    replyText += ':';
                    appendJsonString(replyText, value);
                } else {
                    replyText += ":\"";
                    values.emplace_back(replyText.size(), value);
                    replyText += '"';
                }
            }
            replyText += "}}";
        }
        replyText += "]}";
        std::vector<ReplyPiece> pieces;
        std::size_t from = 0;
        for (const auto& [at, value] : values) {
            pieces.push_back(
                ReplyPiece{std::string_view(replyText).substr(from, at - from), false});
            pieces.push_back(ReplyPiece{value, true});
            from = at;
        }
        pieces.push_back(ReplyPiece{std::string_view(replyText).substr(from), false});
        if (Status sent = writer_.writeReply(id, pieces); !sent) {
            console_.consoleLine(sent.error());
        }
        return;
    }
    sendReply(id, json::serialize(reply));
}

void HostSession::sendReply(std::int64_t id, std::string_view text) {
    if (Status sent = writer_.writeReply(id, text); !sent) {
        console_.consoleLine(sent.error());
    }
}

void HostSession::run(FrameReader& reader) {
    for (;;) {
        IncomingFrame frame = reader.next();
        switch (frame.kind) {
            case IncomingFrame::Kind::endOfStream:
                return;
            case IncomingFrame::Kind::oversized:
                console_.consoleLine(
                    fmt::format("Ignoring a message of {} bytes.", frame.declaredLength));
                if (const auto id = leadingId(frame.text)) {
                    sendError(*id, "request too large");
                }
                break;
            case IncomingFrame::Kind::message:
                handleRequest(frame.text);
                break;
        }
    }
}

}  // namespace orlavine
