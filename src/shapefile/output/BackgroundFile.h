#pragma once
// One file of the set, appended to through a large buffer. A full buffer is written on a work
// queue thread of the file's own while the next one fills (double buffering), so that the
// system's copying of the bytes overlaps the formatting of the next records. Failures name the
// file by its final name, as the temporary one means nothing to the user; a failed background
// write is reported at the next call. Owns its buffers, its copy of the descriptor and its
// thread; the bytes handed over by appendInPlace stay the caller's, and must stay as they are
// until settle() returns.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/FileDescriptor.h"
#include "common/WorkQueue.h"

namespace pontrel::shapefile::output {

class BackgroundFile {
public:
    // Writes through its own copy of `fd`, the descriptor the file was created with, from the
    // offset `start` on.
    BackgroundFile(int fd, std::string shownName, std::uint64_t start);
    BackgroundFile(const BackgroundFile&) = delete;
    BackgroundFile& operator=(const BackgroundFile&) = delete;

    // Room for `size` bytes at the end of the file, to be filled at once.
    char* extend(std::size_t size) {
        if (used_ + size > kCapacity) flush();
        char* at = buffers_[current_].get() + used_;
        used_ += size;
        return at;
    }
    void append(const void* bytes, std::size_t size);
    // Has the writer thread append `size` bytes from `bytes`.
    void appendInPlace(const char* bytes, std::size_t size);
    // Waits until everything handed to the writer thread is written.
    void settle() { waitForWriter(); }
    // The same, for when a failure is already on its way: a later one is not reported.
    void settleQuietly() noexcept { writer_.waitQuietly(pending_); }
    // Writes over bytes already in the file (a header field).
    void overwrite(std::uint64_t offset, const void* bytes, std::size_t size);
    // Writes what is left and closes the file, reporting a failure of either.
    void finish();

private:
    static constexpr std::size_t kCapacity = std::size_t{1} << 20;

    void flush();
    void handOver(const char* bytes, std::size_t size);
    void waitForWriter();
    int writeAll(const void* bytes, std::size_t size, std::uint64_t offset) const;
    void check(int error) const {
        if (error != 0) fail(error);
    }
    [[noreturn]] void fail(int error) const;

    FileDescriptor fd_;
    std::string shownName_;
    std::uint64_t position_;
    std::unique_ptr<char[]> buffers_[2];
    int current_ = 0;
    std::size_t used_ = 0;
    int error_ = 0;  // the first failed background write: set by the writer, read after a wait
    WorkQueue::Ticket pending_;
    WorkQueue writer_{1};  // last: it finishes its write before the rest goes
};

}  // namespace pontrel::shapefile::output
