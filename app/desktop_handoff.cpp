#include "app/desktop_handoff.h"

#include <fmt/format.h>

#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

namespace orlavine {
namespace {

constexpr const char* kDesktopProgram = "orlavine-desktop";

bool isDocumentOrLink(std::string_view argument) {
    if (argument.starts_with("orlavine:")) {
        return true;
    }
    if (argument.starts_with("-")) {
        return false;
    }
    for (std::string_view extension : {".sdb", ".css", ".styl", ".less"}) {
        if (argument.ends_with(extension)) {
            return true;
        }
    }
    return false;
}

// This program's own file, as the kernel knows it (a link on the PATH resolved).
std::string ownFile() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) {
        return {};
    }
    path.resize(static_cast<std::size_t>(n));
    return path;
}

}  // namespace

bool wantsDesktop(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (!isDocumentOrLink(argv[i])) {
            return false;
        }
    }
    return true;
}

int runDesktopProgram(char** argv) {
    const std::string self = ownFile();
    if (self.empty()) {
        fmt::print(stderr, "Cannot open the windows: /proc/self/exe cannot be read.\n");
        return 1;
    }
    const std::string program = self.substr(0, self.rfind('/') + 1) + kDesktopProgram;
    ::execv(program.c_str(), argv);
    const int error = errno;
    if (error == ENOENT) {
        fmt::print(stderr,
                   "Cannot open the windows: {} is missing. The windows are a program of their "
                   "own, installed beside orlavine; the subcommands work without it (orlavine "
                   "--help lists them).\n",
                   program);
    } else {
        fmt::print(stderr, "Cannot open the windows: cannot start {}: {}\n", program,
                   std::strerror(error));
    }
    return 1;
}

}  // namespace orlavine
