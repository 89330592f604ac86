#include "common/TemporaryFiles.h"

#include "common/FileDescriptor.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>

namespace pontrel::cleanup {

namespace {

constexpr int kSlots = 64;

// A slot is written while `state` is Free, then published; the handler reads only published ones.
enum State : int { Free = 0, Writing = 1, File = 2, Folder = 3 };

struct Slot {
    std::atomic<int> state{Free};
    char path[PATH_MAX];
};

Slot slots[kSlots];
std::atomic<pid_t> helperGroup{0};

// Removes the files directly in `path`, then the folder (and any empty folder in it), with
// system calls only: readdir and the C++ library are not safe in a signal handler.
void removeFolder(const char* path) {
    FileDescriptor fd(::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd) {
        alignas(8) char buffer[4096];
        for (;;) {
            long got = ::syscall(SYS_getdents64, fd.get(), buffer, sizeof buffer);
            if (got <= 0) break;
            for (long at = 0; at < got;) {
                // The kernel's records have the layout of glibc's dirent64.
                auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
                at += entry->d_reclen;
                const char* name = entry->d_name;
                if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
                if (::unlinkat(fd.get(), name, 0) != 0) ::unlinkat(fd.get(), name, AT_REMOVEDIR);
            }
        }
    }
    fd.reset();
    ::rmdir(path);
}

void onInterruption(int signal) {
    pid_t group = helperGroup.load();
    if (group > 0) {
        // The helper leads its group; once it is reaped it can no longer add files anywhere.
        ::kill(-group, SIGKILL);
        while (::waitpid(group, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    for (Slot& slot : slots) {
        int state = slot.state.load(std::memory_order_acquire);
        if (state == File) ::unlink(slot.path);
        if (state == Folder) removeFolder(slot.path);
    }
    ::_exit(128 + signal);
}

sigset_t interruptionSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signal);
    return set;
}

}  // namespace

Registered::Registered(const std::string& path, Kind kind) : path_(path) {
    if (path.size() >= PATH_MAX) return;
    for (int i = 0; i < kSlots; ++i) {
        int expected = Free;
        if (!slots[i].state.compare_exchange_strong(expected, Writing)) continue;
        std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
        slots[i].state.store(kind == Kind::File ? File : Folder, std::memory_order_release);
        slot_ = i;
        return;
    }
    // With every slot taken the path is still removed by its owner, only not on an interruption.
}

Registered::~Registered() { release(); }

Registered::Registered(Registered&& other) noexcept
    : slot_(std::exchange(other.slot_, -1)), path_(std::move(other.path_)), lock_(std::move(other.lock_)) {}

Registered& Registered::operator=(Registered&& other) noexcept {
    if (this != &other) {
        release();
        slot_ = std::exchange(other.slot_, -1);
        path_ = std::move(other.path_);
        lock_ = std::move(other.lock_);
    }
    return *this;
}

namespace {

// Removes the folders in the folder of `pattern` whose names `pattern` could give, that belong
// to this user, and whose lock can be taken: their run was killed. Each is removed under its
// lock, which a new run creating its folder meanwhile would fail to take.
void removeLeftoverFolders(const std::string& pattern) {
    const std::size_t slash = pattern.rfind('/');
    const std::string base = slash == std::string::npos ? "." : pattern.substr(0, slash);
    const std::string prefix = pattern.substr(slash + 1, pattern.size() - (slash + 1) - 6);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(base.c_str()), ::closedir);
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        const int at = ::dirfd(dir.get());
        FileDescriptor folder(::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat info {};
        if (!folder || ::fstat(folder.get(), &info) != 0 || info.st_uid != ::geteuid() ||
            ::flock(folder.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        std::error_code ec;
        std::filesystem::remove_all(base + "/" + name, ec);
    }
}

}  // namespace

Registered Registered::newFolder(const std::string& pattern) {
    removeLeftoverFolders(pattern);
    constexpr int kAttempts = 8;
    for (int attempt = 1;; ++attempt) {
        InterruptionsHeld held;
        std::string path = pattern;
        if (::mkdtemp(path.data()) == nullptr) return Registered();
        FileDescriptor lock(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (lock && ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) {
            Registered folder(path, Kind::Folder);
            folder.lock_ = std::move(lock);
            return folder;
        }
        // Another run's clean-up took it first, and removes it.
        const int error = errno;
        if (!lock) ::rmdir(path.c_str());
        if (attempt == kAttempts) {
            errno = error;
            return Registered();
        }
    }
}

void Registered::release() noexcept {
    if (slot_ >= 0) slots[slot_].state.store(Free, std::memory_order_release);
    slot_ = -1;
}

void setHelperGroup(pid_t group) noexcept { helperGroup.store(group); }

void installInterruptionHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterruption;
    action.sa_mask = interruptionSignals();
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        // A signal the caller chose to ignore (nohup, a background job) stays ignored.
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        ::sigaction(signal, &action, nullptr);
    }
}

InterruptionsHeld::InterruptionsHeld() {
    sigset_t held = interruptionSignals();
    ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
}

InterruptionsHeld::~InterruptionsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

}  // namespace pontrel::cleanup
