#include "model/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

#include "model/large_buffers.h"

namespace orlavine {
namespace {

std::string describe(const std::string& what, const std::filesystem::path& file, int error) {
    return what + " " + file.string() + ": " + std::strerror(error);
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

// Follows symbolic links from `file` to the file they name, which may not exist yet (a library
// kept in a synced folder through a link): that file is the one to replace, the link stays.
std::filesystem::path resolveLinks(const std::filesystem::path& file) {
    std::filesystem::path current = file;
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, ec))) {
            return current;
        }
        std::filesystem::path target = std::filesystem::read_symlink(current, ec);
        if (ec) {
            return current;
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return current;
}

namespace {

// Creates a new file named like mkstemp's template (six random letters for the X's) with
// O_EXCL; unlike mkstemp it asks for 0666, so the kernel applies the umask (and a default
// ACL of the folder) as for any new file.
int createTemporary(std::string& name) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (std::size_t i = name.size() - 6; i < name.size(); ++i) {
            name[i] = kLetters[pick(random)];
        }
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

Status writeFileAtomically(const std::filesystem::path& link, std::string_view bytes,
                           std::optional<unsigned> mode, bool flushToDisk) {
    const std::filesystem::path file = resolveLinks(link);
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        return Error{"cannot create folder " + folder.string() + ": " + ec.message()};
    }

    std::string name = (folder / ("." + file.filename().string() + ".tmp-XXXXXX")).string();
    FileHandle fd(createTemporary(name));
    if (fd.get() < 0) {
        return Error{describe("cannot write in", folder, errno)};
    }
    const std::filesystem::path temporary(name);
    auto fail = [&](const std::string& what) -> Status {
        const int error = errno;
        ::unlink(temporary.c_str());
        return Error{describe(what, file, error)};
    };

    struct stat existing {};
    if (mode) {
        ::fchmod(fd.get(), static_cast<mode_t>(*mode & 07777));
    } else if (::stat(file.c_str(), &existing) == 0) {
        ::fchmod(fd.get(), existing.st_mode & 07777);
    }
    if (!writeAll(fd.get(), bytes)) {
        return fail("cannot write");
    }
    if (flushToDisk && ::fsync(fd.get()) != 0) {
        return fail("cannot flush");
    }
    if (::close(fd.release()) != 0) {
        return fail("cannot close");
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        return fail("cannot replace");
    }
    FileHandle dir(flushToDisk ? ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
    if (dir.get() >= 0) {
        ::fsync(dir.get());
    }
    return Done{};
}

Result<FileHandle> openRegularFile(const std::filesystem::path& file) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    FileHandle fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        return Error{describe("cannot open", file, errno)};
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return Error{describe("cannot read", file, errno)};
    }
    if (!S_ISREG(info.st_mode)) {
        return Error{file.string() + " is not a regular file"};
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

Result<std::string> readOpenFile(const FileHandle& fd, const std::filesystem::path& file,
                                 std::size_t maxBytes) {
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return Error{describe("cannot read", file, errno)};
    }
    if (static_cast<std::size_t>(info.st_size) > maxBytes) {
        return Error{file.string() + " is too large (" + std::to_string(info.st_size) +
                     " bytes, at most " + std::to_string(maxBytes) + ")"};
    }
    std::string content;
    // Room for the first step past the end too: growing a full string doubles it, which for a
    // large library would copy it whole into twice the memory.
    content.reserve(std::min(maxBytes, static_cast<std::size_t>(info.st_size) + 65536));
    preferHugePages(content.data(), content.capacity());
    content.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    for (;;) {
        if (filled == content.size()) {
            // The file may have grown since fstat; read on in steps, within the limit.
            if (content.size() >= maxBytes) {
                char probe = 0;
                if (::pread(fd.get(), &probe, 1, static_cast<off_t>(filled)) > 0) {
                    return Error{file.string() + " is too large"};
                }
                break;
            }
            content.resize(std::min(maxBytes, content.size() + 65536));
        }
        const ssize_t n = ::pread(fd.get(), content.data() + filled, content.size() - filled,
                                  static_cast<off_t>(filled));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Error{describe("cannot read", file, errno)};
        }
        if (n == 0) {
            break;
        }
        filled += static_cast<std::size_t>(n);
    }
    content.resize(filled);
    return content;
}

Result<std::string> readWholeFile(const std::filesystem::path& file, std::size_t maxBytes,
                                  FileHandle* keep) {
    Result<FileHandle> fd = openRegularFile(file);
    if (!fd) {
        return Error{fd.error()};
    }
    Result<std::string> content = readOpenFile(*fd, file, maxBytes);
    if (content && keep != nullptr) {
        *keep = std::move(fd).value();
    }
    return content;
}

}  // namespace orlavine

namespace orlavine {

void removeStaleTemporaries(const std::filesystem::path& link, std::chrono::seconds age) {
    const std::filesystem::path file = resolveLinks(link);
    const std::string prefix = "." + file.filename().string() + ".tmp-";
    const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    const auto cutoff = std::filesystem::file_time_type::clock::now() - age;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0 || name.size() != prefix.size() + 6) {
            continue;
        }
        std::error_code entryError;
        if (entry.is_regular_file(entryError) && entry.last_write_time(entryError) < cutoff &&
            !entryError) {
            std::filesystem::remove(entry.path(), entryError);
        }
    }
}

}  // namespace orlavine

namespace orlavine {

ExclusiveFileLock::ExclusiveFileLock(const std::filesystem::path& lockFile, unsigned mode) {
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd_ >= 0) {
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
}

std::uint64_t ExclusiveFileLock::counter() const {
    std::uint64_t value = 0;
    if (fd_ < 0 || ::pread(fd_, &value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
        return 0;
    }
    return value;
}

void ExclusiveFileLock::bumpCounter() {
    const std::uint64_t next = counter() + 1;
    if (fd_ >= 0) {
        (void)!::pwrite(fd_, &next, sizeof next, 0);
    }
}

ExclusiveFileLock::~ExclusiveFileLock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

}  // namespace orlavine
