#pragma once
// A loopback HTTP server that answers each request with what the test's handler says, for the
// faults a real server shows only rarely: error statuses, broken bodies, a connection cut short.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orlavine::sync::testing {

struct FakeRequest {
    std::string method;
    std::string path;
    std::string head;  // request line and headers
    std::string body;
};

struct FakeReply {
    int status = 200;
    std::vector<std::string> headers;
    std::string body;
    // Closes the connection after reading this many body bytes, without answering.
    std::size_t cutAfterBodyBytes = std::string::npos;
};

class FakeHttpServer {
  public:
    using Handler = std::function<FakeReply(const FakeRequest&)>;

    explicit FakeHttpServer(Handler handler) : handler_(std::move(handler)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const int yes = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        ::listen(listener_, 16);
        thread_ = std::thread([this] { run(); });
    }
    ~FakeHttpServer() {
        stopping_ = true;
        thread_.join();
        ::close(listener_);
    }
    FakeHttpServer(const FakeHttpServer&) = delete;
    FakeHttpServer& operator=(const FakeHttpServer&) = delete;

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
    std::vector<FakeRequest> requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    void setHandler(Handler handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }

  private:
    void run() {
        while (!stopping_) {
            pollfd pfd{listener_, POLLIN, 0};
            if (::poll(&pfd, 1, 50) <= 0) {
                continue;
            }
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd >= 0) {
                serve(fd);
                ::close(fd);
            }
        }
    }

    // One request per connection.
    void serve(int fd) {
        std::string data;
        char buffer[65536];
        std::size_t headEnd = std::string::npos;
        while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return;
            }
            data.append(buffer, static_cast<std::size_t>(n));
        }
        FakeRequest request;
        request.head = data.substr(0, headEnd);
        request.method = request.head.substr(0, request.head.find(' '));
        const std::size_t pathStart = request.method.size() + 1;
        request.path =
            request.head.substr(pathStart, request.head.find(' ', pathStart) - pathStart);
        std::size_t length = 0;
        for (const char* name : {"Content-Length: ", "content-length: "}) {
            if (const std::size_t at = request.head.find(name); at != std::string::npos) {
                length = std::stoul(request.head.substr(at + std::strlen(name)));
            }
        }
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            handler = handler_;
        }
        FakeReply reply = handler(request);
        const std::size_t want = std::min(length, reply.cutAfterBodyBytes);
        request.body = data.substr(headEnd + 4);
        while (request.body.size() < want) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                break;
            }
            request.body.append(buffer, static_cast<std::size_t>(n));
        }
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        if (reply.cutAfterBodyBytes != std::string::npos) {
            ::shutdown(fd, SHUT_RDWR);
            return;
        }
        std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " X\r\n";
        for (const std::string& h : reply.headers) {
            out += h + "\r\n";
        }
        out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
        out += "Connection: close\r\n\r\n";
        if (request.method != "HEAD") {
            out += reply.body;
        }
        std::size_t sent = 0;
        while (sent < out.size()) {
            const ssize_t n = ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                return;
            }
            sent += static_cast<std::size_t>(n);
        }
    }

    Handler handler_;
    std::mutex mutex_;
    std::vector<FakeRequest> requests_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace orlavine::sync::testing
