#include "shapefile/output/DestinationLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "shapefile/ShapeFileError.h"

namespace pontrel::shapefile::output {

DestinationLock::DestinationLock(std::string path, const std::string& output, const std::string& noun)
    : path_(std::move(path)) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kWaitSeconds);
    for (;;) {
        {
            // An interruption between taking the lock and listing the file would leave it behind.
            cleanup::InterruptionsHeld held;
            fd_ = openLockFile();
            if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) {
                struct stat locked {}, named {};
                if (::fstat(fd_.get(), &locked) == 0 && ::lstat(path_.c_str(), &named) == 0 &&
                    locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
                    listed_ = cleanup::Registered(path_, cleanup::Registered::Kind::File);
                    return;
                }
            } else if (errno != EWOULDBLOCK && errno != EINTR) {
                fail(errno);
            }
        }
        fd_.reset();
        if (std::chrono::steady_clock::now() >= deadline)
            throw ShapeFileError("The " + noun + " '" + output +
                                 "' is being written by another program, which has held its "
                                 "lock file '" + path_ + "' for more than " +
                                 std::to_string(kWaitSeconds) + " seconds");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

DestinationLock::~DestinationLock() {
    // Off the list first: once the file is gone, another run may create and list its own.
    listed_.release();
    ::unlink(path_.c_str());
}

// Never written to, and never a link, a pipe or a device.
FileDescriptor DestinationLock::openLockFile() {
    FileDescriptor fd(::open(path_.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!fd) fail(errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        throw ShapeFileError("The lock file '" + path_ + "' is not a file");
    return fd;
}

void DestinationLock::fail(int error) const {
    throw ShapeFileError("The lock file '" + path_ + "' cannot be used: " + std::strerror(error));
}

}  // namespace pontrel::shapefile::output
