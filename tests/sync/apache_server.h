#pragma once
// A private Apache httpd with mod_dav and basic authentication on a free loopback port, started
// and stopped by the tests. Its configuration, password file, logs and shared folder live in a
// temporary folder.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "support/test_support.h"

extern char** environ;

namespace orlavine::sync::testing {

// A port of the loopback interface that nothing listens on now.
inline int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

// Whether something accepts connections on the loopback `port`.
inline bool acceptsOn(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

inline constexpr const char* kApacheBinary = "/usr/sbin/apache2";
inline constexpr const char* kApacheModules = "/usr/lib/apache2/modules";

class ApacheServer {
  public:
    // Why the server cannot run here, or nothing when it can.
    static std::optional<std::string> unavailable() {
        if (::access(kApacheBinary, X_OK) != 0) {
            return std::string("apache2 is not installed (scripts/install-deps installs it)");
        }
        if (::access("/usr/bin/htpasswd", X_OK) != 0) {
            return std::string("htpasswd is not installed");
        }
        if (::getpwnam("www-data") == nullptr) {
            return std::string("there is no www-data user for apache2 to run as");
        }
        return std::nullopt;
    }

    ApacheServer(const std::string& user, const std::string& password) {
        namespace fs = std::filesystem;
        root_ = dir_.path();
        fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
        fs::create_directories(root_ / "dav");
        fs::create_directories(root_ / "lock");
        fs::create_directories(root_ / "www");
        const passwd* www = ::getpwnam("www-data");
        for (const char* sub : {"dav", "lock"}) {
            if (::chown((root_ / sub).c_str(), www->pw_uid, www->pw_gid) != 0) {
                failure_ = "cannot hand the DAV folders to www-data";
                return;
            }
        }
        const std::string htpasswd = "/usr/bin/htpasswd -bcs '" + (root_ / "htpasswd").string() +
                                     "' '" + user + "' '" + password + "' 2>/dev/null";
        if (std::system(htpasswd.c_str()) != 0) {
            failure_ = "htpasswd failed";
            return;
        }
        port_ = freeLoopbackPort();
        writeConfig();
        start();
    }

    ~ApacheServer() { stop(); }
    ApacheServer(const ApacheServer&) = delete;
    ApacheServer& operator=(const ApacheServer&) = delete;

    const std::string& failure() const { return failure_; }
    // The root of the shared WebDAV space, as an account's server address.
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_) + "/dav/"; }
    std::filesystem::path davFolder() const { return root_ / "dav"; }
    int port() const { return port_; }

    void start() {
        if (pid_ > 0) {
            return;
        }
        const std::string conf = (root_ / "httpd.conf").string();
        const char* argv[] = {kApacheBinary, "-f", conf.c_str(), "-DFOREGROUND", nullptr};
        if (::posix_spawn(&pid_, kApacheBinary, nullptr, nullptr, const_cast<char**>(argv),
                          environ) != 0) {
            pid_ = -1;
            failure_ = "cannot start apache2";
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < deadline) {
            if (accepting()) {
                failure_.clear();
                return;
            }
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                failure_ = "apache2 stopped at start: " + errorLog();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        failure_ = "apache2 did not start listening: " + errorLog();
    }

    void stop() {
        if (pid_ <= 0) {
            return;
        }
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        // The port is free again once nothing accepts on it.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (accepting() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    std::string errorLog() const { return orlavine::testing::readText(root_ / "error.log"); }

  private:
    bool accepting() const { return acceptsOn(port_); }

    void writeConfig() const {
        const std::string r = root_.string();
        std::ofstream out(root_ / "httpd.conf");
        for (const char* module : {"mpm_event", "authz_core", "authz_user", "authn_core",
                                   "authn_file", "auth_basic", "alias", "dav", "dav_fs"}) {
            out << "LoadModule " << module << "_module " << kApacheModules << "/mod_" << module
                << ".so\n";
        }
        out << "ServerRoot " << r << "\n"
            << "Listen 127.0.0.1:" << port_ << "\n"
            << "ServerName 127.0.0.1\n"
            << "PidFile " << r << "/httpd.pid\n"
            << "DefaultRuntimeDir " << r << "\n"
            << "ErrorLog " << r << "/error.log\n"
            << "LogLevel warn\n"
            << "User www-data\nGroup www-data\n"
            << "StartServers 1\nServerLimit 2\nThreadsPerChild 8\nMaxRequestWorkers 16\n"
            << "DocumentRoot " << r << "/www\n"
            << "DAVLockDB " << r << "/lock/DAVLock\n"
            << "FileETag INode MTime Size\n"
            << "Alias /dav " << r << "/dav\n"
            << "<Directory " << r << "/dav>\n"
            << "  Dav On\n  AuthType Basic\n  AuthName \"sync\"\n"
            << "  AuthUserFile " << r << "/htpasswd\n  Require valid-user\n"
            << "</Directory>\n";
    }

    orlavine::testing::TempDir dir_;
    std::filesystem::path root_;
    std::string failure_;
    int port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace orlavine::sync::testing
