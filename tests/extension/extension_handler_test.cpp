#include "extension/extension_handler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <boost/json.hpp>
#include <thread>

#include "extension/host_session.h"
#include "model/record_json.h"
#include "model/settings_keys.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class SilentReporter : public Reporter {
  public:
    void consoleLine(std::string_view line) override {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    }
    void showAlert(std::string_view, std::string_view) override {}
    std::vector<std::string> lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

styleContainer styleFor(std::int64_t id, const std::string& domain, const std::string& css,
                        bool frames) {
    styleContainer s = testing::sampleStyle(id, "Style " + std::to_string(id));
    s.styleData.sections[0].domains = {domain};
    s.styleData.sections[0].code = css;
    s.allowIframe = frames ? std::optional<bool>(true) : std::nullopt;
    return s;
}

class HandlerTest : public ::testing::Test {
  protected:
    HandlerTest() : settings(dir.path()), library(dir.path(), reporter) {
        styleDatabase db;
        db.styles = {styleFor(1, "example.com", "a{}", true),
                     styleFor(2, "example.com", "b{}", false)};
        testing::writeText(dir / "styledb.sdb", encodeDatabase(db));
        handler.emplace(settings, library, nc, "styles.test");
    }

    std::vector<PageDispatch> send(const std::string& name, std::optional<std::string> url,
                                   std::optional<PageUserInfo> info = std::nullopt) {
        return handler->messageReceived(PageMessage{name, std::move(url), std::move(info)});
    }

    testing::TempDir dir;
    SilentReporter reporter;
    NotificationCenter nc;
    SettingsStores settings;
    CachedLibrary library;
    std::optional<SafariExtensionHandler> handler;
};

TEST_F(HandlerTest, PageMessagesGetTheirRepliesInOrder) {
    const std::string page = "https://example.com/";
    EXPECT_THAT(send("getCSS", page),
                ElementsAre(PageDispatch{"returnCSS", {{"css", "a{}\nb{}\n"}}}));
    EXPECT_THAT(send("updateCSS", page),
                ElementsAre(PageDispatch{"newCSS", {{"css", "a{}\nb{}\n"}}}));
    EXPECT_THAT(send("urlChanged", page), ElementsAre(PageDispatch{"urlChanged", {}}));
    // A page without an address only gets its hiding removed, whatever it asked.
    for (const char* name : {"getCSS", "toggleStyles", "iframeCSS"}) {
        EXPECT_THAT(send(name, std::nullopt, PageUserInfo{{"url", page}}),
                    ElementsAre(PageDispatch{"removeHideElement", {}}));
    }
    // UserCSS documents and catalogue style pages get their offers after the CSS.
    EXPECT_THAT(send("getCSS", "https://example.com/dark.user.css"),
                ElementsAre(PageDispatch{"returnCSS", {{"css", "a{}\nb{}\n"}}},
                            PageDispatch{"userCSS", {}}));
    EXPECT_THAT(send("urlChanged", "https://styles.test/styles/42/dark"),
                ElementsAre(PageDispatch{"urlChanged", {}}, PageDispatch{"injectButton", {}}));
    EXPECT_THAT(send("urlChanged", "https://styles.test/styles/browse/all"),
                ElementsAre(PageDispatch{"urlChanged", {}}));
    EXPECT_THAT(send("getCSS", "https://example.com/x.USER.CSS"),
                ElementsAre(PageDispatch{"returnCSS", {{"css", "a{}\nb{}\n"}}}));
}

TEST_F(HandlerTest, FramesGetOnlyStylesThatAllowThemAndBlankFramesUseThePageAddress) {
    const std::string page = "https://example.com/";
    EXPECT_THAT(
        send("iframeCSS", "https://other.org/", PageUserInfo{{"url", page + "frame"}}),
        ElementsAre(PageDispatch{"cssIframe", {{"css", "a{}\n"}, {"url", page + "frame"}}}));
    EXPECT_THAT(send("updateiFrame", page, PageUserInfo{{"url", "about:blank"}}),
                ElementsAre(PageDispatch{"newIframe", {{"css", "a{}\n"}, {"url", "about:blank"}}}));
    // Frames the page wrote itself (about:srcdoc too) are styled for the page's address.
    EXPECT_THAT(
        send("iframeCSS", page, PageUserInfo{{"url", "about:srcdoc"}}),
        ElementsAre(PageDispatch{"cssIframe", {{"css", "a{}\n"}, {"url", "about:srcdoc"}}}));
    EXPECT_THAT(send("iframeCSS", "https://other.org/", PageUserInfo{{"url", "about:blank#x"}}),
                ElementsAre(PageDispatch{"cssIframe", {{"css", ""}, {"url", "about:blank#x"}}}));
    // Addresses with the characters browsers keep raw are read as the browser reads them.
    const std::string raw = "https://www.example.com/search?q=a|b&f[t]={x}^`%#é";
    EXPECT_THAT(send("iframeCSS", "https://other.org/", PageUserInfo{{"url", raw}}),
                ElementsAre(PageDispatch{"cssIframe", {{"css", "a{}\n"}, {"url", raw}}}));
    EXPECT_THAT(send("getCSS", raw),
                ElementsAre(PageDispatch{"returnCSS", {{"css", "a{}\nb{}\n"}}}));
    EXPECT_THAT(send("getCSS", "https://[::1]:80/?a|b"),
                ElementsAre(PageDispatch{"returnCSS", {{"css", ""}}}));
    // No dictionary, no "url", or an address that does not parse: no reply at all.
    EXPECT_THAT(send("iframeCSS", page), IsEmpty());
    EXPECT_THAT(send("iframeCSS", page, PageUserInfo{{"other", "x"}}), IsEmpty());
    EXPECT_THAT(send("iframeCSS", page, PageUserInfo{{"url", "not an address"}}), IsEmpty());
}

TEST_F(HandlerTest, TheShortcutFlipsStylesOnlyWhileItIsSwitchedOn) {
    int toggles = 0;
    nc.addObserver(kToggleStylesNotification, [&](const Notification&) { ++toggles; });
    const std::string page = "https://example.com/a.user.css";

    EXPECT_THAT(send("toggleStyles", page),
                ElementsAre(PageDispatch{"updateCSS", {{"", ""}}}, PageDispatch{"userCSS", {}}));
    EXPECT_FALSE(settings.extension.boolValue(keys::kEnableStyles));
    EXPECT_EQ(toggles, 1);
    EXPECT_THAT(send("getCSS", page),
                ElementsAre(PageDispatch{"returnCSS", {{"css", ""}}}, PageDispatch{"userCSS", {}}));

    // Switched off in the preferences: nothing happens, not even the UserCSS offer.
    ASSERT_TRUE(settings.shared.set(keys::kToggleShortcut, false).ok());
    EXPECT_THAT(send("toggleStyles", page), IsEmpty());
    EXPECT_FALSE(settings.extension.boolValue(keys::kEnableStyles));
    EXPECT_EQ(toggles, 1);

    EXPECT_TRUE(handler->setEnableStyles(true, "https://example.com/").enableStyles);
    EXPECT_EQ(handler->popoverState("https://example.com/").styles.size(), 2u);
}

// Drives a host session over pipes, as the browser does.
class SessionTest : public HandlerTest {
  protected:
    SessionTest() {
        EXPECT_EQ(::pipe(toHost), 0);
        EXPECT_EQ(::pipe(fromHost), 0);
        writer.emplace(fromHost[1]);
        session.emplace(*writer, *handler, library, nc, reporter);
    }
    ~SessionTest() override {
        session.reset();
        for (int fd : {toHost[0], toHost[1], fromHost[0], fromHost[1]}) {
            ::close(fd);
        }
    }

    // Sends `request` and returns the first message the host writes back, or nothing when the
    // host stays silent.
    std::optional<std::string> ask(const std::string& request) {
        session->handleRequest(request);
        pollfd fd{fromHost[0], POLLIN, 0};
        if (::poll(&fd, 1, 0) <= 0) {
            return std::nullopt;
        }
        IncomingFrame frame = FrameReader(fromHost[0], 64 * 1024 * 1024).next();
        return frame.text;
    }

    int toHost[2] = {-1, -1};
    int fromHost[2] = {-1, -1};
    std::optional<FrameWriter> writer;
    std::optional<HostSession> session;
};

TEST_F(SessionTest, BadMessagesGetAnErrorReplyWhenTheirIdCanBeReadAndAConsoleLine) {
    const std::string silent[] = {
        "",
        "not json",
        "[1,2]",
        R"({"name":"getCSS"})",
        R"({"id":"7","name":"getCSS"})",
        R"({"id":1.5,"name":"getCSS")",
        std::string(100000, '[') + std::string(100000, ']'),
    };
    for (const std::string& text : silent) {
        SCOPED_TRACE(text.substr(0, 60));
        EXPECT_EQ(ask(text), std::nullopt);
    }
    const std::pair<std::string, std::string> answered[] = {
        {R"({"id":1,"name":5})", R"({"id":1,"error":"malformed request"})"},
        {R"({"id":2,"name":"deleteEverything"})", R"({"id":2,"error":"unknown request"})"},
        {R"({"id":3,"name":"setEnableStyles","enabled":"yes"})",
         R"({"id":3,"error":"setEnableStyles needs \"enabled\": true or false"})"},
        {R"({"id":4,"name":"openStyle","styleID":"x"})",
         R"({"id":4,"error":"openStyle needs a numeric \"styleID\""})"},
        // Not JSON as a whole, but its id comes first.
        {R"({"id":5,"name":"getCSS","url":"https://example.com/")",
         R"({"id":5,"error":"malformed request"})"},
        {R"( { "id" : -6 , "name":)", R"({"id":-6,"error":"malformed request"})"},
    };
    for (const auto& [text, reply] : answered) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ask(text), reply);
    }
    EXPECT_EQ(reporter.lines().size(), std::size(silent) + std::size(answered));
    // The session still answers afterwards.
    const auto reply = ask(R"({"id":9,"name":"getCSS","url":"https://example.com/"})");
    ASSERT_TRUE(reply);
    EXPECT_EQ(boost::json::parse(*reply).at("messages").at(0).at("userInfo").at("css"),
              "a{}\nb{}\n");
}

void writeRawFrame(int fd, const std::string& body) {
    const auto length = static_cast<std::uint32_t>(body.size());
    std::string frame(reinterpret_cast<const char*>(&length), sizeof length);
    frame += body;
    std::string_view rest = frame;
    while (!rest.empty()) {
        const ssize_t n = ::write(fd, rest.data(), rest.size());
        ASSERT_GT(n, 0);
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
}

// The next whole reply (parts joined) that the host writes.
boost::json::value readWholeReply(int fd) {
    FrameReader reader(fd, 64 * 1024 * 1024);
    std::string joined;
    for (;;) {
        IncomingFrame frame = reader.next();
        if (frame.kind != IncomingFrame::Kind::message) {
            return nullptr;
        }
        boost::json::value v = boost::json::parse(frame.text);
        if (!v.as_object().contains("part")) {
            return v;
        }
        joined += v.at("data").as_string().c_str();
        if (v.at("part").as_int64() + 1 == v.at("parts").as_int64()) {
            return boost::json::parse(joined);
        }
    }
}

TEST_F(SessionTest, TwoMegabyteAddressesAreStyledAndLargerRequestsGetAnError) {
    // Chromium's longest address is 2 MB; a frame message carries two of them.
    const std::string longAddress =
        "https://example.com/?q=" + std::string(2 * 1024 * 1024 - 30, '|');
    std::thread browser([&] {
        writeRawFrame(toHost[1], R"({"id":11,"name":"iframeCSS","url":")" + longAddress +
                                     R"(","userInfo":{"url":")" + longAddress + R"("}})");
        writeRawFrame(toHost[1], R"({"id":12,"name":"getCSS","url":")" +
                                     std::string(kMaxMessageFromBrowser, 'x') + R"("})");
        ::close(toHost[1]);
        toHost[1] = -1;
    });
    std::thread host([&] {
        FrameReader reader(toHost[0]);
        session->run(reader);
    });
    const boost::json::value styled = readWholeReply(fromHost[0]);
    EXPECT_EQ(styled.at("id"), 11);
    EXPECT_EQ(styled.at("messages").at(0).at("userInfo").at("css"), "a{}\n");
    EXPECT_EQ(styled.at("messages").at(0).at("userInfo").at("url").as_string(), longAddress);
    const boost::json::value refused = readWholeReply(fromHost[0]);
    EXPECT_EQ(refused, boost::json::parse(R"({"id":12,"error":"request too large"})"));
    browser.join();
    host.join();
}

TEST_F(SessionTest, ANewRevisionReplacesTheLibraryWholeWhilePagesAreAsking) {
    styleDatabase other;
    other.styles = {styleFor(3, "example.com", "c{}", true)};
    const std::string otherBytes = encodeDatabase(other);
    const std::string first = "a{}\nb{}\n";

    std::atomic<bool> done{false};
    std::atomic<int> mixed{0};
    std::thread pages([&] {
        while (!done) {
            const std::string css =
                assemblePageCSS(*library.current(), "https://example.com/", false, true);
            if (css != first && css != "c{}\n") {
                ++mixed;
            }
        }
    });
    for (int i = 0; i < 50; ++i) {
        session->libraryChanged(otherBytes);
        session->libraryChanged(
            encodeDatabase(decodeDatabase(testing::readText(dir / "styledb.sdb")).value()));
    }
    session->libraryChanged("{ not a library");  // ignored: the cached copy stays
    done = true;
    pages.join();
    EXPECT_EQ(mixed, 0);
    EXPECT_EQ(assemblePageCSS(*library.current(), "https://example.com/", false, true), first);
}

}  // namespace
}  // namespace orlavine
