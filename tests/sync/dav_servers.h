#pragma once
// The WebDAV servers people run, each started on a free loopback port with basic authentication
// and a folder of its own, and a fault-injecting proxy to put in front of one. Apache comes from
// apache_server.h; nginx (with its dav-ext module), rclone and the npm webdav-server are started
// here.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "support/test_support.h"
#include "sync/apache_server.h"

namespace orlavine::sync::testing {

enum class DavKind { apache, nginx, rclone, npm };

inline const char* nameOf(DavKind kind) {
    switch (kind) {
        case DavKind::apache:
            return "apache";
        case DavKind::nginx:
            return "nginx";
        case DavKind::rclone:
            return "rclone";
        case DavKind::npm:
            return "npm";
    }
    return "";
}

inline const std::filesystem::path kTestScripts =
    std::filesystem::path(ORLAVINE_SOURCE_DIR) / "tests/sync/js";

// A program run in the background until destroyed, its output in a log file.
class Spawned {
  public:
    Spawned(std::vector<std::string> argv, const std::filesystem::path& log) : log_(log) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        std::vector<char*> args;
        for (std::string& a : argv) {
            args.push_back(a.data());
        }
        args.push_back(nullptr);
        if (::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Spawned() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    Spawned(const Spawned&) = delete;
    Spawned& operator=(const Spawned&) = delete;

    // Waits (bounded) until something accepts on `port`; "" when it does, else why not.
    std::string waitForPort(int port) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (pid_ <= 0) {
                return "cannot start the server";
            }
            if (acceptsOn(port)) {
                return {};
            }
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return "the server stopped at start: " + orlavine::testing::readText(log_);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return "the server did not start listening: " + orlavine::testing::readText(log_);
    }

  private:
    std::filesystem::path log_;
    pid_t pid_ = -1;
};

// One running server of any kind, serving folder() at baseURL().
class DavServer {
  public:
    static std::optional<std::string> unavailable(DavKind kind) {
        switch (kind) {
            case DavKind::apache:
                return ApacheServer::unavailable();
            case DavKind::nginx:
                if (::access("/usr/sbin/nginx", X_OK) != 0 ||
                    !std::filesystem::exists(kDavExtModule)) {
                    return std::string("nginx or libnginx-mod-http-dav-ext is not installed");
                }
                break;
            case DavKind::rclone:
                if (::access("/usr/bin/rclone", X_OK) != 0) {
                    return std::string("rclone is not installed");
                }
                break;
            case DavKind::npm:
                if (!std::filesystem::exists(kTestScripts / "node_modules/webdav-server")) {
                    return std::string("the npm webdav-server is not installed");
                }
                break;
        }
        if (kind != DavKind::apache && ::access("/usr/bin/htpasswd", X_OK) != 0) {
            return std::string("htpasswd is not installed");
        }
        return std::nullopt;
    }

    DavServer(DavKind kind, const std::string& user, const std::string& password) {
        if (kind == DavKind::apache) {
            apache_ = std::make_unique<ApacheServer>(user, password);
            failure_ = apache_->failure();
            return;
        }
        root_ = dir_.path();
        std::filesystem::create_directories(root_ / "dav");
        port_ = freeLoopbackPort();
        const std::string port = std::to_string(port_);
        const std::string folder = (root_ / "dav").string();
        std::vector<std::string> argv;
        if (kind == DavKind::nginx) {
            writeNginxConfig(user, password);
            argv = {"/usr/sbin/nginx", "-p", root_.string(), "-c", (root_ / "nginx.conf").string()};
        } else if (kind == DavKind::rclone) {
            argv = {"/usr/bin/rclone", "serve",
                    "webdav",          folder,
                    "--addr",          "127.0.0.1:" + port,
                    "--user",          user,
                    "--pass",          password,
                    "--baseurl",       "/dav",
                    "--config",        (root_ / "rclone.conf").string()};
        } else {
            argv = {"node",  (kTestScripts / "webdav_server.js").string(), port, folder, user,
                    password};
        }
        process_ = std::make_unique<Spawned>(argv, root_ / "server.log");
        failure_ = process_->waitForPort(port_);
    }

    const std::string& failure() const { return failure_; }
    int port() const { return apache_ ? apache_->port() : port_; }
    std::string baseURL() const {
        return apache_ ? apache_->baseURL() : "http://127.0.0.1:" + std::to_string(port_) + "/dav/";
    }
    std::filesystem::path folder() const { return apache_ ? apache_->davFolder() : root_ / "dav"; }

  private:
    static inline const std::filesystem::path kDavExtModule =
        "/usr/lib/nginx/modules/ngx_http_dav_ext_module.so";

    void writeNginxConfig(const std::string& user, const std::string& password) {
        const std::string r = root_.string();
        std::filesystem::create_directories(root_ / "tmp");
        const std::string htpasswd = "/usr/bin/htpasswd -bcs '" + r + "/htpasswd' '" + user +
                                     "' '" + password + "' 2>/dev/null";
        if (std::system(htpasswd.c_str()) != 0) {
            failure_ = "htpasswd failed";
        }
        std::ofstream out(root_ / "nginx.conf");
        out << "load_module " << kDavExtModule.string() << ";\n"
            << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
            << "error_log " << r << "/error.log warn;\npid " << r << "/nginx.pid;\n"
            << "events { worker_connections 64; }\n"
            << "http {\n  access_log off;\n  client_max_body_size 0;\n"
            << "  client_body_temp_path " << r << "/tmp;\n  proxy_temp_path " << r << "/tmp;\n"
            << "  fastcgi_temp_path " << r << "/tmp;\n  uwsgi_temp_path " << r << "/tmp;\n"
            << "  scgi_temp_path " << r << "/tmp;\n  dav_ext_lock_zone zone=sync:1m;\n"
            << "  server {\n    listen 127.0.0.1:" << port_ << ";\n"
            << "    location /dav/ {\n      alias " << r << "/dav/;\n"
            << "      auth_basic \"sync\";\n      auth_basic_user_file " << r << "/htpasswd;\n"
            << "      dav_methods PUT DELETE MKCOL COPY MOVE;\n"
            << "      dav_ext_methods PROPFIND OPTIONS LOCK UNLOCK;\n"
            << "      dav_ext_lock zone=sync;\n    }\n  }\n}\n";
    }

    orlavine::testing::TempDir dir_;
    std::filesystem::path root_;
    std::unique_ptr<ApacheServer> apache_;
    std::unique_ptr<Spawned> process_;
    std::string failure_;
    int port_ = 0;
};

// tests/sync/js/fault_proxy.js in front of a server: holds, refuses or cuts requests as told.
class FaultProxy {
  public:
    explicit FaultProxy(int targetPort)
        : port_(freeLoopbackPort()),
          process_({"node", (kTestScripts / "fault_proxy.js").string(), std::to_string(port_),
                    std::to_string(targetPort)},
                   dir_.path() / "proxy.log"),
          failure_(process_.waitForPort(port_)),
          control_("127.0.0.1", port_) {
        control_.set_read_timeout(120, 0);
    }
    const std::string& failure() const { return failure_; }
    // The server's address `path` ("/dav/") as seen through the proxy.
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    // Sends a control request; the ones that wait answer once what they wait for happened.
    bool tell(const std::string& what) {
        const bool waits = what.starts_with("held") || what.starts_with("seen");
        auto answer = waits ? control_.Get("/__proxy/" + what)
                            : control_.Post("/__proxy/" + what, "", "text/plain");
        return answer && answer->status == 200;
    }

  private:
    orlavine::testing::TempDir dir_;
    int port_;
    Spawned process_;
    std::string failure_;
    httplib::Client control_;
};

}  // namespace orlavine::sync::testing
