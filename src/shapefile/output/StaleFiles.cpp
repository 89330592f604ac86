#include "shapefile/output/StaleFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>

#include "common/FileDescriptor.h"
#include "shapefile/output/TemporaryNames.h"

namespace pontrel::shapefile::output {

namespace {

struct DirectoryCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

void removeStaleFiles(const std::string& folder) {
    std::unique_ptr<DIR, DirectoryCloser> dir(::opendir(folder.c_str()));
    if (!dir) return;
    const std::string host = hostTag();
    const int at = ::dirfd(dir.get());
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::optional<TemporaryName> name = parseTemporaryName(entry->d_name);
        if (!name || name->host != host) continue;
        if (name->pid <= 0 || name->pid == ::getpid() || name->pid > INT32_MAX) continue;
        if (::kill(static_cast<pid_t>(name->pid), 0) == 0 || errno != ESRCH) continue;
        struct stat info {};
        if (::fstatat(at, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (name->old) {
            if (info.st_nlink >= 2) ::unlinkat(at, entry->d_name, 0);
            continue;
        }
        // A process that the kill above cannot see (another PID namespace, or another machine
        // of the same name on a network folder) still holds the lock of its files.
        FileDescriptor file(::openat(at, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {};
        if (!file || ::fstat(file.get(), &opened) != 0 || opened.st_dev != info.st_dev ||
            opened.st_ino != info.st_ino || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        ::unlinkat(at, entry->d_name, 0);
    }
}

}  // namespace pontrel::shapefile::output
