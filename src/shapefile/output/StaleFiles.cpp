#include "shapefile/output/StaleFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>

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
        if (name->old && info.st_nlink < 2) continue;
        ::unlinkat(at, entry->d_name, 0);
    }
}

}  // namespace pontrel::shapefile::output
