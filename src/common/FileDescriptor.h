#pragma once
// An open file descriptor with one owner, which closes it when it goes (or, with close(), on
// request, reporting the error that closing found: where buffered data is finally written).
// Move-only; an empty one holds -1.

#include <unistd.h>

#include <cerrno>

#include <utility>

namespace pontrel {

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const noexcept { return fd_; }
    bool valid() const noexcept { return fd_ >= 0; }
    explicit operator bool() const noexcept { return valid(); }

    // Gives the descriptor up without closing it.
    int release() noexcept { return std::exchange(fd_, -1); }
    // Closes the held descriptor, if any, and holds `fd`.
    void reset(int fd = -1) noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now: 0, or the errno of a failed close. Empty afterwards either way.
    int close() noexcept {
        if (fd_ < 0) return 0;
        return ::close(release()) == 0 ? 0 : errno;
    }

private:
    int fd_ = -1;
};

}  // namespace pontrel
