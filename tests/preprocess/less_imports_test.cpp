// Less imports from an address, against a loopback server, and offline from the kept copy.
#include "preprocess/less_imports.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "preprocess_fixture.h"
#include "support/test_support.h"

namespace orlavine {
namespace {

// Answers every request on 127.0.0.1 with the same Less text.
class LoopbackServer {
  public:
    explicit LoopbackServer(std::string body) : body_(std::move(body)) {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(socket_, 8);
        socklen_t length = sizeof address;
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackServer() { stop(); }

    void stop() {
        if (!running_.exchange(false)) {
            return;
        }
        thread_.join();
        ::close(socket_);
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int requests() const { return requests_; }

  private:
    void serve() {
        while (running_) {
            pollfd waiting{socket_, POLLIN, 0};
            if (::poll(&waiting, 1, 50) <= 0) {
                continue;
            }
            const int client = ::accept(socket_, nullptr, nullptr);
            if (client < 0) {
                continue;
            }
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    break;
                }
                request.append(buffer, static_cast<std::size_t>(got));
            }
            ++requests_;
            const std::string answer =
                "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body_.size()) +
                "\r\nConnection: close\r\n\r\n" + body_;
            (void)::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
            ::close(client);
        }
    }

    std::string body_;
    int socket_ = -1;
    int port_ = 0;
    std::atomic<bool> running_{true};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

struct ImportingPreprocessor {
    testing::RecordingReporter reporter;
    testing::RecordingErrors errors;
    Downloader downloader;
    CachedHttpImports imports;
    StylePreprocessor preprocessor;

    explicit ImportingPreprocessor(const std::filesystem::path& cache)
        : imports(cache, downloader),
          preprocessor({&reporter, &errors, testing::builtScriptDirectory(), {}, &imports}) {}
};

styleContainer importing(const std::string& url) {
    return testing::styleWith(
        "less", {testing::section({"a.com"}, "@import \"" + url + "\";\na { .brand(); }")}, {});
}

TEST(LessImports, AnAddressIsFetchedOnceAndCompilesAgainOffline) {
    testing::TempDir cache;
    LoopbackServer server(".brand() { color: rebeccapurple; }\n");
    ImportingPreprocessor t(cache.path());
    auto style = importing(server.url("/lib/brand.less"));
    t.preprocessor.compileStyle(style);
    ASSERT_TRUE(t.errors.errors.empty()) << t.errors.errors[0].text;
    ASSERT_TRUE(style.styleData.compSections.has_value());
    EXPECT_NE(style.styleData.compSections->at(0).code.find("color: rebeccapurple;"),
              std::string::npos);
    EXPECT_EQ(server.requests(), 1);

    server.stop();
    auto offline = importing(server.url("/lib/brand.less"));
    t.preprocessor.compileStyle(offline);
    ASSERT_TRUE(t.errors.errors.empty()) << t.errors.errors[0].text;
    EXPECT_EQ(offline.styleData.compSections, style.styleData.compSections);

    // Without a kept copy, an unreachable address is a compilation error.
    testing::TempDir emptyCache;
    ImportingPreprocessor cold(emptyCache.path());
    auto unreachable = importing(server.url("/lib/brand.less"));
    cold.preprocessor.compileStyle(unreachable);
    ASSERT_EQ(cold.errors.errors.size(), 1u);
    EXPECT_NE(cold.errors.errors[0].text.find("brand.less"), std::string::npos);
    EXPECT_FALSE(unreachable.styleData.compSections.has_value());
}

TEST(LessImports, OnlyWebAddressesAreFetched) {
    testing::TempDir cache;
    Downloader downloader;
    CachedHttpImports imports(cache.path(), downloader);
    EXPECT_FALSE(imports.fetch("file:///etc/passwd").has_value());
    EXPECT_FALSE(imports.fetch("ftp://127.0.0.1/x.less").has_value());
}

}  // namespace
}  // namespace orlavine
