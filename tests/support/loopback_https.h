#pragma once
// An HTTPS server on a loopback address for the tests (and benchmarks) of code that downloads: it
// makes its own certificate, which clients trust through certificateFile(), serves the handlers
// registered on server() from a background thread, and counts what it is asked.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "support/test_support.h"

namespace orlavine::testing {

class LoopbackHttpsServer {
  public:
    // Handlers are registered on server() after construction; the server is already listening. Any
    // loopback address may be chosen (127.0.0.2, 127.0.0.3 … for several distinct hosts).
    explicit LoopbackHttpsServer(const std::string& address = "127.0.0.1");
    ~LoopbackHttpsServer();
    LoopbackHttpsServer(const LoopbackHttpsServer&) = delete;
    LoopbackHttpsServer& operator=(const LoopbackHttpsServer&) = delete;

    // Register handlers here. The pre- and post-routing handlers are taken by the counters.
    httplib::SSLServer& server() { return *server_; }

    int port() const { return port_; }
    // "localhost" on 127.0.0.1, the address itself on any other; the certificate names both.
    const std::string& host() const { return host_; }
    std::string hostPort() const { return host_ + ":" + std::to_string(port_); }
    std::string base() const { return "https://" + hostPort(); }
    // The PEM certificate the clients of this server should trust.
    std::filesystem::path certificateFile() const { return dir_ / "cert.pem"; }

    // Requests that reached routing so far, requests being handled now and at most at once.
    int requests() const { return requests_.load(); }
    int concurrent() const { return concurrent_.load(); }
    int peakConcurrent() const { return peak_.load(); }
    std::string lastUserAgent() const;

    // Sleeps in a handler for `duration`, or less when the server is shutting down; returns false
    // in that case so that endless handlers and content providers can stop.
    bool pause(std::chrono::milliseconds duration);
    bool stopping() const { return stopping_.load(); }

  private:
    TempDir dir_;
    std::string host_;
    int port_ = 0;
    std::unique_ptr<httplib::SSLServer> server_;
    std::thread thread_;
    std::atomic<bool> listenEnded_{false};

    std::atomic<int> requests_{0};
    std::atomic<int> concurrent_{0};
    std::atomic<int> peak_{0};
    mutable std::mutex mutex_;
    std::string lastUserAgent_;
    std::condition_variable stopped_;
    std::atomic<bool> stopping_{false};
};

}  // namespace orlavine::testing
