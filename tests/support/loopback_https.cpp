#include "support/loopback_https.h"

#include <csignal>
#include <cstdlib>
#include <stdexcept>

namespace orlavine::testing {
namespace {

// The server whose request the current worker thread has counted, so that only requests that passed
// the pre-routing handler are uncounted afterwards (a malformed request skips routing but still
// gets an answer).
thread_local const LoopbackHttpsServer* countedBy = nullptr;

void makeCertificate(const std::filesystem::path& dir, const std::string& address) {
    std::string names = "DNS:localhost,IP:127.0.0.1";
    if (address != "127.0.0.1") {
        names += ",IP:" + address;
    }
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt "
        "ec_paramgen_curve:prime256v1 -nodes -days 2"
        " -subj /CN=localhost -addext subjectAltName=" +
        names + " -keyout '" + (dir / "key.pem").string() + "' -out '" +
        (dir / "cert.pem").string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("the openssl command could not make a test certificate");
    }
}

}  // namespace

LoopbackHttpsServer::LoopbackHttpsServer(const std::string& address)
    : host_(address == "127.0.0.1" ? "localhost" : address) {
    // A client that gives up mid-answer must not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    makeCertificate(dir_.path(), address);
    server_ =
        std::make_unique<httplib::SSLServer>(certificateFile().c_str(), (dir_ / "key.pem").c_str());
    if (!server_->is_valid()) {
        throw std::runtime_error("the test HTTPS server could not load its certificate");
    }
    // The library's pool follows the processor count; tests need many requests at once.
    server_->new_task_queue = [] { return new httplib::ThreadPool(32); };
    server_->set_keep_alive_timeout(1);
    server_->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
        countedBy = this;
        ++requests_;
        const int now = ++concurrent_;
        int peak = peak_.load();
        while (now > peak && !peak_.compare_exchange_weak(peak, now)) {
        }
        std::lock_guard lock(mutex_);
        lastUserAgent_ = request.get_header_value("User-Agent");
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server_->set_post_routing_handler([this](const httplib::Request&, httplib::Response&) {
        if (countedBy == this) {
            countedBy = nullptr;
            --concurrent_;
        }
    });
    port_ = server_->bind_to_any_port(address);
    if (port_ <= 0) {
        throw std::runtime_error("the test HTTPS server could not bind to " + address);
    }
    thread_ = std::thread([this] {
        server_->listen_after_bind();
        listenEnded_ = true;
    });
    while (!server_->is_running() && !listenEnded_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (listenEnded_) {
        thread_.join();
        throw std::runtime_error("the test HTTPS server stopped listening at once");
    }
}

LoopbackHttpsServer::~LoopbackHttpsServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopped_.notify_all();
    server_->stop();
    thread_.join();
}

std::string LoopbackHttpsServer::lastUserAgent() const {
    std::lock_guard lock(mutex_);
    return lastUserAgent_;
}

bool LoopbackHttpsServer::pause(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    return !stopped_.wait_for(lock, duration, [this] { return stopping_.load(); });
}

}  // namespace orlavine::testing
