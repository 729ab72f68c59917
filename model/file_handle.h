#pragma once
// An open file descriptor that closes itself. Library files are only ever replaced whole, never
// written in place, so a descriptor kept after reading a file goes on giving the bytes read,
// whatever later takes the file's name.

#include <unistd.h>

#include <utility>

namespace orlavine {

class FileHandle {
  public:
    FileHandle() = default;
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileHandle(FileHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            FileHandle(std::move(other)).swap(*this);
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Gives up the descriptor without closing it.
    int release() { return std::exchange(fd_, -1); }

  private:
    void swap(FileHandle& other) noexcept { std::swap(fd_, other.fd_); }

    int fd_ = -1;
};

}  // namespace orlavine
