#include "shapefile/output/BackgroundFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "shapefile/ShapeFileError.h"

namespace pontrel::shapefile::output {

BackgroundFile::BackgroundFile(int fd, std::string shownName, std::uint64_t start)
    : fd_(::fcntl(fd, F_DUPFD_CLOEXEC, 0)), shownName_(std::move(shownName)), position_(start) {
    if (!fd_) fail(errno);
    for (auto& buffer : buffers_) buffer.reset(new char[kCapacity]);
}

void BackgroundFile::append(const void* bytes, std::size_t size) {
    if (size > kCapacity) {
        flush();
        waitForWriter();
        check(writeAll(bytes, size, position_));
        position_ += size;
        return;
    }
    std::memcpy(extend(size), bytes, size);
}

void BackgroundFile::appendInPlace(const char* bytes, std::size_t size) {
    if (size == 0) return;
    flush();
    handOver(bytes, size);
}

void BackgroundFile::overwrite(std::uint64_t offset, const void* bytes, std::size_t size) {
    flush();
    waitForWriter();
    check(writeAll(bytes, size, offset));
}

void BackgroundFile::finish() {
    flush();
    waitForWriter();
    check(fd_.close());
}

// Hands the filled buffer to the writer and goes on in the other one.
void BackgroundFile::flush() {
    if (used_ == 0) return;
    handOver(buffers_[current_].get(), used_);
    used_ = 0;
    current_ ^= 1;
}

// Has the writer write `size` bytes from `bytes` at the end, once it is done with the last ones.
void BackgroundFile::handOver(const char* bytes, std::size_t size) {
    waitForWriter();
    const std::uint64_t offset = position_;
    pending_ = writer_.submit([this, bytes, size, offset] {
        const int error = writeAll(bytes, size, offset);
        if (error != 0 && error_ == 0) error_ = error;
    });
    position_ += size;
}

void BackgroundFile::waitForWriter() {
    writer_.wait(pending_);
    check(error_);
}

// 0, or the error that stopped the writing.
int BackgroundFile::writeAll(const void* bytes, std::size_t size, std::uint64_t offset) const {
    const char* data = static_cast<const char*>(bytes);
    while (size > 0) {
        ssize_t done = ::pwrite(fd_.get(), data, size, static_cast<off_t>(offset));
        if (done < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
        offset += static_cast<std::uint64_t>(done);
    }
    return 0;
}

void BackgroundFile::fail(int error) const {
    throw ShapeFileError("The file '" + shownName_ + "' could not be written: " + std::strerror(error));
}

}  // namespace pontrel::shapefile::output
