// The downloader's general entry point (methods, headers, bodies, credentials, answers whatever
// their status) and the address rules on every redirect it follows.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "net/web_download.h"
#include "support/loopback_https.h"
#include "sync/fake_http_server.h"

namespace orlavine {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackHttpsServer;

DownloadOptions trusting(const LoopbackHttpsServer& server) {
    DownloadOptions options;
    options.certificateFile = server.certificateFile().string();
    options.limits.maxBytes = std::size_t{1} << 20;
    options.limits.firstRetryWait = 10ms;
    return options;
}

// What a handler saw of the requests that reached it.
struct Seen {
    std::mutex mutex;
    std::vector<std::string> lines;  // "METHOD path auth body"
    void add(const httplib::Request& request) {
        std::lock_guard lock(mutex);
        lines.push_back(request.method + " " + request.path + " " +
                        request.get_header_value("Authorization") + " " + request.body);
    }
};

TEST(WebRequest, GivesTheAnswerOfAnyMethodWhateverItsStatus) {
    LoopbackHttpsServer server;
    Seen seen;
    std::atomic<int> puts{0};
    server.server().Put("/dav/record", [&](const httplib::Request& request, httplib::Response& r) {
        seen.add(request);
        if (puts++ == 0) {
            r.status = 503;  // busy once: a PUT may be asked again
            return;
        }
        r.status = request.get_header_value("If-Match") == "\"t1\"" ? 204 : 412;
        r.set_header("ETag", "\"t2\"");
    });
    server.server().Get("/dav/record", [&](const httplib::Request& request, httplib::Response& r) {
        seen.add(request);
        r.set_header("ETag", "W/\"t2\"");
        // Twice the cap: a HEAD answer announces it without sending it.
        r.set_content(std::string(std::size_t{2} << 20, 'x'), "application/octet-stream");
    });
    server.server().Delete("/dav/record",
                           [&](const httplib::Request& request, httplib::Response& r) {
                               seen.add(request);
                               r.status = 404;
                               r.set_content("no such record", "text/plain");
                           });

    Downloader downloader(trusting(server));
    TransferCounter counter;
    const std::string address = server.base() + "/dav/record";
    struct Case {
        WebMethod method;
        std::string body;
        std::vector<std::string> headers;
        long status;
        std::string etag;
        std::string answerBody;
        std::size_t exchanges;
    };
    const std::vector<Case> cases = {
        {WebMethod::put, "new body", {"If-Match: \"t1\""}, 204, "\"t2\"", "", 2},
        {WebMethod::put, "other body", {"If-Match: \"t0\""}, 412, "\"t2\"", "", 1},
        {WebMethod::head, "", {}, 200, "W/\"t2\"", "", 1},
        {WebMethod::del, "", {}, 404, "", "no such record", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(methodName(c.method)) + " " + c.body);
        WebRequest request;
        request.method = c.method;
        request.address = address;
        request.body = c.body;
        request.headers = c.headers;
        request.user = "ann";
        request.password = "pw";
        request.counter = &counter;
        const std::size_t before = counter.requests;
        auto answer = downloader.request(request);
        ASSERT_TRUE(answer) << answer.error();
        EXPECT_EQ(answer->status, c.status);
        EXPECT_EQ(answer->header("etag"), c.etag);
        EXPECT_EQ(answer->body, c.answerBody);
        EXPECT_EQ(counter.requests - before, c.exchanges);
        EXPECT_GT(answer->bytesSent, c.body.size());
        EXPECT_GT(answer->bytesReceived, 0u);
    }
    const std::vector<std::string> expected = {
        "PUT /dav/record Basic YW5uOnB3 new body",   "PUT /dav/record Basic YW5uOnB3 new body",
        "PUT /dav/record Basic YW5uOnB3 other body", "HEAD /dav/record Basic YW5uOnB3 ",
        "DELETE /dav/record Basic YW5uOnB3 ",
    };
    EXPECT_EQ(seen.lines, expected);

    // A header that would smuggle another header in is refused before anything is sent.
    WebRequest smuggling;
    smuggling.address = address;
    smuggling.headers = {"X-Note: a\r\nAuthorization: Basic eDp5"};
    auto refused = downloader.request(smuggling);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), "A request header holds a line break.");
    EXPECT_EQ(server.requests(), 5);
}

TEST(WebRequest, AsksAgainAfterABusyAnswerOnlyWhatMayBeRepeated) {
    std::atomic<int> asked{0};
    sync::testing::FakeHttpServer server([&asked](const sync::testing::FakeRequest& request) {
        ++asked;
        sync::testing::FakeReply reply;
        reply.status = request.method == "PROPFIND" && asked == 1 ? 503 : 201;
        return reply;
    });
    DownloadOptions quick;
    quick.limits.firstRetryWait = 10ms;
    Downloader downloader(quick);
    WebRequest mkcol;
    mkcol.method = WebMethod::mkcol;
    mkcol.address = server.url() + "folder/";
    auto made = downloader.request(mkcol);
    ASSERT_TRUE(made) << made.error();
    EXPECT_EQ(made->status, 201);

    asked = 0;
    WebRequest propfind;
    propfind.method = WebMethod::propfind;
    propfind.address = server.url() + "folder/";
    propfind.headers = {"Depth: 0"};
    propfind.body = "<propfind/>";
    auto found = downloader.request(propfind);
    ASSERT_TRUE(found) << found.error();
    EXPECT_EQ(found->status, 201);
    EXPECT_EQ(asked.load(), 2);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "MKCOL");
    for (std::size_t i : {1u, 2u}) {
        EXPECT_EQ(requests[i].method, "PROPFIND");
        EXPECT_EQ(requests[i].body, "<propfind/>");
        EXPECT_NE(requests[i].head.find("Depth: 0"), std::string::npos);
    }

    server.setHandler([&asked](const sync::testing::FakeRequest&) {
        ++asked;
        return sync::testing::FakeReply{503, {}, ""};
    });
    asked = 0;
    WebRequest lock;
    lock.method = WebMethod::lock;
    lock.address = server.url() + "folder/";
    auto busy = downloader.request(lock);
    ASSERT_TRUE(busy) << busy.error();
    EXPECT_EQ(busy->status, 503);
    EXPECT_EQ(asked.load(), 1);
}

TEST(WebRequest, EveryRedirectTargetPassesTheAddressRules) {
    LoopbackHttpsServer server;
    Seen seen;
    const std::string local = server.hostPort();
    const std::vector<std::pair<std::string, std::string>> redirects = {
        {"https://u:p@" + local + "/secret",
         "The address redirects to an address that is not asked: Addresses with a user name or "
         "password are not accepted."},
        {"http://u:p@" + local + "/secret",
         "The address redirects to an address that is not asked: Addresses with a user name or "
         "password are not accepted."},
        {"file:///etc/passwd", "The address redirects to something other than http or https."},
        {"ftp://" + local + "/secret",
         "The address redirects to something other than http or https."},
    };
    server.server().Get("/secret", [&](const httplib::Request& request, httplib::Response& r) {
        seen.add(request);
        r.set_content("secret", "text/plain");
    });
    server.server().Get(R"(/moved/(\d+))",
                        [&](const httplib::Request& request, httplib::Response& r) {
                            seen.add(request);
                            r.set_redirect(redirects.at(std::stoul(request.matches[1])).first);
                        });

    Downloader downloader(trusting(server));
    for (std::size_t i = 0; i < redirects.size(); ++i) {
        SCOPED_TRACE(redirects[i].first);
        auto result = downloader.fetch(server.base() + "/moved/" + std::to_string(i));
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error(), redirects[i].second);
    }
    // Only the redirecting addresses were asked, without credentials.
    EXPECT_EQ(seen.lines.size(), redirects.size());
    for (const std::string& line : seen.lines) {
        EXPECT_TRUE(line.starts_with("GET /moved/")) << line;
        EXPECT_EQ(line.find("Basic"), std::string::npos) << line;
    }

    // A request's own credentials go to its own server only, not where it redirects.
    server.server().Get("/elsewhere", [&](const httplib::Request& request, httplib::Response& r) {
        seen.add(request);
        r.set_redirect("https://127.0.0.1:" + std::to_string(server.port()) + "/secret");
    });
    WebRequest request;
    request.address = server.base() + "/elsewhere";
    request.user = "ann";
    request.password = "pw";
    request.followRedirects = true;
    auto answer = downloader.request(request);
    ASSERT_TRUE(answer) << answer.error();
    EXPECT_EQ(answer->body, "secret");
    ASSERT_EQ(seen.lines.size(), redirects.size() + 2);
    EXPECT_EQ(seen.lines[redirects.size()], "GET /elsewhere Basic YW5uOnB3 ");
    EXPECT_EQ(seen.lines.back(), "GET /secret  ");
}

}  // namespace
}  // namespace orlavine
