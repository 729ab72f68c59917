#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/web_download.h"
#include "support/loopback_https.h"

namespace orlavine {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackHttpsServer;
using Clock = std::chrono::steady_clock;

// Short limits, so that every give-up below happens in about a second.
DownloadOptions trusting(const LoopbackHttpsServer& server) {
    DownloadOptions options;
    options.certificateFile = server.certificateFile().string();
    options.limits.connectTimeout = 2s;
    options.limits.totalTimeout = 15s;
    options.limits.stallTimeout = 500ms;
    options.limits.maxBytes = std::size_t{1} << 20;
    options.limits.retries = 2;
    options.limits.firstRetryWait = 50ms;
    options.limits.maxRetryWait = 2s;
    return options;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Streams `block` over and over until the client goes away (or `total` bytes, when given, as a
// fixed-length answer), counting what it handed to the connection. Text is sent compressed.
void serveEndless(LoopbackHttpsServer& server, const std::string& pattern, const char* type,
                  std::atomic<std::size_t>& sent, std::size_t total = 0) {
    server.server().Get(pattern, [&server, &sent, type, total](const httplib::Request&,
                                                               httplib::Response& response) {
        auto provider = [&server, &sent](std::size_t, httplib::DataSink& sink) {
            static const std::string block(64 << 10, 'a');
            sent += block.size();
            return !server.stopping() && sink.write(block.data(), block.size());
        };
        if (total > 0) {
            response.set_content_provider(
                total, type, [provider](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    return provider(offset, sink);
                });
        } else {
            response.set_chunked_content_provider(type, provider);
        }
    });
}

TEST(WebDownload, FetchesFromATrustedServerOnly) {
    LoopbackHttpsServer server;
    server.server().Get("/style.css", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("body { color: teal }", "text/css");
    });
    server.server().Get("/moved", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("/style.css");
    });

    Downloader downloader(trusting(server));
    auto body = downloader.fetch(server.base() + "/style.css");
    ASSERT_TRUE(body) << body.error();
    EXPECT_EQ(*body, "body { color: teal }");
    EXPECT_EQ(server.lastUserAgent(), "Orlavine/" ORLAVINE_VERSION);

    auto moved = downloader.fetch(server.base() + "/moved");
    ASSERT_TRUE(moved) << moved.error();
    EXPECT_EQ(*moved, "body { color: teal }");

    auto missing = downloader.fetch(server.base() + "/nothing.css");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), "The server answered 404.");

    // The system's certificates do not include the server's own.
    auto untrusted = Downloader().fetch(server.base() + "/style.css");
    ASSERT_FALSE(untrusted);
    EXPECT_EQ(untrusted.error(), "The server's certificate could not be verified.");
}

TEST(WebDownload, RefusesAddressesItMustNotFetchWithoutAsking) {
    LoopbackHttpsServer server;
    Downloader downloader(trusting(server));
    const std::string local = server.hostPort();
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"file:///etc/passwd", "Only http and https addresses can be downloaded."},
        {"ftp://" + local + "/x.css", "Only http and https addresses can be downloaded."},
        {"javascript:alert(1)", "Only http and https addresses can be downloaded."},
        {"https://user:pw@" + local + "/x.css",
         "Addresses with a user name or password are not accepted."},
        {server.base() + "/" + std::string(10'000, 'a'),
         "The address is longer than 8192 characters."},
        {"https://bücher.example/x.css",
         "Host names with letters outside ASCII "
         "must be written in their xn-- form."},
        {"https://b%C3%BCcher.example/x.css",
         "Host names with letters outside ASCII must be written in their xn-- "
         "form."},
        {"not an address", "The address is not a valid web address."},
        {"https:///x.css", "The address has no host."},
    };
    for (const auto& [address, message] : refused) {
        auto result = downloader.fetch(address);
        ASSERT_FALSE(result) << address;
        EXPECT_EQ(result.error(), message) << address.substr(0, 60);
    }
    EXPECT_EQ(server.requests(), 0);
}

TEST(WebDownload, GivesUpOnAServerThatStopsSending) {
    LoopbackHttpsServer server;
    server.server().Get("/silent", [&server](const httplib::Request&, httplib::Response& response) {
        server.pause(10s);
        response.set_content("too late", "text/css");
    });
    server.server().Get(
        "/trickle", [&server](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider("application/octet-stream",
                                                  [&server](std::size_t, httplib::DataSink& sink) {
                                                      sink.write("/* a start */", 13);
                                                      server.pause(10s);
                                                      return false;
                                                  });
        });

    Downloader downloader(trusting(server));
    for (const char* path : {"/silent", "/trickle"}) {
        const auto start = Clock::now();
        auto result = downloader.fetch(server.base() + path);
        ASSERT_FALSE(result) << path;
        EXPECT_EQ(result.error(), "The server stopped sending.") << path;
        EXPECT_LT(secondsSince(start), 2.5) << path;
    }
}

TEST(WebDownload, EndsAnswersLargerThanTheCapSoonAfterIt) {
    LoopbackHttpsServer server;
    std::atomic<std::size_t> endlessSent{0};
    std::atomic<std::size_t> hugeSent{0};
    std::atomic<std::size_t> packedSent{0};
    serveEndless(server, "/endless", "application/octet-stream", endlessSent);
    serveEndless(server, "/huge", "application/octet-stream", hugeSent, std::size_t{2} << 30);
    serveEndless(server, "/packed.css", "text/css", packedSent);
    // A compressor sends little and seldom while it takes in a long run of the same letter.
    DownloadOptions options = trusting(server);
    options.limits.stallTimeout = 5s;

    const auto start = Clock::now();
    auto endless = Downloader(options).fetch(server.base() + "/endless");
    ASSERT_FALSE(endless);
    EXPECT_EQ(endless.error(), "The answer is larger than 1 MB.");
    EXPECT_LT(secondsSince(start), 5);

    // A declared length over the cap is refused before its body is read.
    auto huge = Downloader(options).fetch(server.base() + "/huge");
    ASSERT_FALSE(huge);
    EXPECT_EQ(huge.error(), "The answer is larger than 1 MB.");

    // What counts is the size after decompression.
    auto packed = Downloader(options).fetch(server.base() + "/packed.css");
    ASSERT_FALSE(packed);
    EXPECT_EQ(packed.error(), "The answer is larger than 1 MB.");

    // With the usual 20 MB cap the download still ends there, not at the server's end.
    DownloadOptions usual = options;
    usual.limits.maxBytes = DownloadLimits{}.maxBytes;
    endlessSent = 0;
    auto bounded = Downloader(usual).fetch(server.base() + "/endless");
    ASSERT_FALSE(bounded);
    EXPECT_EQ(bounded.error(), "The answer is larger than 20 MB.");
    EXPECT_LT(endlessSent.load(), std::size_t{64} << 20);
}

TEST(WebDownload, FailsOnRedirectLoopsAndAnswersCutShort) {
    LoopbackHttpsServer server;
    server.server().Get("/loop", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("/loop");
    });
    server.server().Get("/cut", [](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(1000, "text/css",
                                      [](std::size_t, std::size_t, httplib::DataSink& sink) {
                                          // Half the promised length, then the end.
                                          sink.write(std::string(500, 'a').data(), 500);
                                          return false;
                                      });
    });

    Downloader downloader(trusting(server));
    auto loop = downloader.fetch(server.base() + "/loop");
    ASSERT_FALSE(loop);
    EXPECT_EQ(loop.error(), "The address redirects more than 5 times.");
    EXPECT_EQ(server.requests(), 6);

    auto cut = downloader.fetch(server.base() + "/cut");
    ASSERT_FALSE(cut);
    EXPECT_EQ(cut.error(), "The answer ended early.");
}

TEST(Downloader, RetriesBusyAnswersAfterTheWaitTheServerAsksFor) {
    LoopbackHttpsServer server;
    std::atomic<int> asked{0};
    server.server().Get("/busy-once", [&asked](const httplib::Request&, httplib::Response& res) {
        if (asked++ == 0) {
            res.status = 429;
            res.set_header("Retry-After", "1");
        } else {
            res.set_content("a {}", "text/css");
        }
    });
    server.server().Get("/always-busy", [](const httplib::Request&, httplib::Response& response) {
        response.status = 503;
    });

    Downloader downloader(trusting(server));
    const auto start = Clock::now();
    auto later = downloader.fetch(server.base() + "/busy-once");
    ASSERT_TRUE(later) << later.error();
    EXPECT_EQ(*later, "a {}");
    EXPECT_GE(secondsSince(start), 1.0);
    EXPECT_EQ(asked.load(), 2);

    const int before = server.requests();
    auto never = downloader.fetch(server.base() + "/always-busy");
    ASSERT_FALSE(never);
    EXPECT_EQ(never.error(), "The server answered 503.");
    EXPECT_EQ(server.requests() - before, downloader.options().limits.retries + 1);
}

// Six downloads from six threads, split evenly over the given addresses; the server's peak.
int peakOfSixDownloads(LoopbackHttpsServer& server, const std::vector<std::string>& bases) {
    server.server().Get("/slow", [&server](const httplib::Request&, httplib::Response& res) {
        server.pause(200ms);
        res.set_content("a {}", "text/css");
    });
    Downloader downloader(trusting(server));
    std::atomic<int> succeeded{0};
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < 6; ++i) {
        threads.emplace_back([&, i] {
            if (downloader.fetch(bases[i % bases.size()] + "/slow")) {
                ++succeeded;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(succeeded.load(), 6);
    return server.peakConcurrent();
}

TEST(Downloader, AsksOneHostForAtMostTwoThingsAtOnce) {
    LoopbackHttpsServer oneName;
    EXPECT_EQ(peakOfSixDownloads(oneName, {oneName.base()}), 2);

    // The same server under two names counts as two hosts.
    LoopbackHttpsServer twoNames;
    const std::string byAddress = "https://127.0.0.1:" + std::to_string(twoNames.port());
    const int peak = peakOfSixDownloads(twoNames, {twoNames.base(), byAddress});
    EXPECT_GT(peak, 2);
    EXPECT_LE(peak, 4);
}

TEST(Downloader, CancelEndsAWaitingDownloadAtOnce) {
    LoopbackHttpsServer server;
    server.server().Get("/silent", [&server](const httplib::Request&, httplib::Response& res) {
        server.pause(10s);
        res.set_content("too late", "text/css");
    });
    DownloadOptions patient = trusting(server);
    patient.limits.stallTimeout = 20s;
    Downloader downloader(patient);

    std::atomic<bool> cancel{false};
    std::thread canceller([&cancel] {
        std::this_thread::sleep_for(300ms);
        cancel = true;
    });
    const auto start = Clock::now();
    auto result = downloader.fetch(server.base() + "/silent", &cancel);
    canceller.join();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), "The download was cancelled.");
    EXPECT_LT(secondsSince(start), 2.5);
    EXPECT_EQ(downloader.fetch(server.base() + "/silent", &cancel).error(),
              "The download was cancelled.");
}

}  // namespace
}  // namespace orlavine
