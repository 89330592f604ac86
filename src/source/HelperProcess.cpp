#include "source/HelperProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/FileDescriptor.h"
#include "common/TemporaryFiles.h"
#include "sqlite/DatabaseError.h"

extern char** environ;

namespace pontrel::data {

namespace {

class SpawnSetup {
public:
    SpawnSetup() {
        const int actionsRc = posix_spawn_file_actions_init(&actions);
        const int attributesRc = posix_spawnattr_init(&attributes);
        initialised = actionsRc != 0 ? actionsRc : attributesRc;
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    int initialised = 0;  // 0, or the error of an init call
};

// The helper gets no environment of the program beyond what sanitizer builds need.
std::vector<std::string> helperEnvironment() {
    std::vector<std::string> out;
    for (char** e = environ; e && *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("ASAN_", 0) == 0 || entry.rfind("UBSAN_", 0) == 0 || entry.rfind("LSAN_", 0) == 0)
            out.push_back(entry);
    }
    return out;
}

std::string readMessage(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::string text(4096, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace

HelperResult runHelper(const std::string& executable, const std::vector<std::string>& arguments,
                       std::chrono::milliseconds timeLimit, const std::string& messageFile,
                       const std::function<void()>& whileWaiting) {
    HelperResult result;
    FileDescriptor opened(::open(messageFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!opened)
        throw DatabaseError("The file '" + messageFile + "' could not be created: " + std::strerror(errno));
    // Keep the descriptor clear of 0 to 3, which the helper's own descriptors take.
    FileDescriptor message(::fcntl(opened.get(), F_DUPFD_CLOEXEC, 10));
    opened.reset();
    if (!message) throw DatabaseError("No descriptor is free to start the reader");

    SpawnSetup setup;
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    for (int rc : {setup.initialised,
                   posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0),
                   posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0),
                   posix_spawn_file_actions_addopen(&setup.actions, 2, "/dev/null", O_WRONLY, 0),
                   posix_spawn_file_actions_adddup2(&setup.actions, message.get(), 3),
                   posix_spawn_file_actions_addclosefrom_np(&setup.actions, 4),
                   posix_spawnattr_setsigmask(&setup.attributes, &none),
                   posix_spawnattr_setsigdefault(&setup.attributes, &all),
                   posix_spawnattr_setpgroup(&setup.attributes, 0),
                   posix_spawnattr_setflags(&setup.attributes,
                                            POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP)})
        if (rc != 0) throw DatabaseError("The reader could not be started: " + std::string(std::strerror(rc)));
    // With SIGCHLD ignored (inherited from a parent that ignores it), the system would reap the
    // reader by itself and its status would be lost.
    struct sigaction childDefault {};
    childDefault.sa_handler = SIG_DFL;
    sigemptyset(&childDefault.sa_mask);
    ::sigaction(SIGCHLD, &childDefault, nullptr);

    std::vector<std::string> argumentText;
    argumentText.push_back(executable);
    argumentText.insert(argumentText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : argumentText) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = helperEnvironment();
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    int rc = posix_spawn(&pid, executable.c_str(), &setup.actions, &setup.attributes, argv.data(), envp.data());
    if (rc != 0) {
        std::filesystem::remove(messageFile);
        result.message = std::strerror(rc);
        return result;
    }

    // An interruption of the program ends the helper's whole process group with it.
    cleanup::setHelperGroup(pid);
    struct GroupListed {
        ~GroupListed() { cleanup::setHelperGroup(0); }
    } listed;
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    auto pause = std::chrono::milliseconds(1);
    int status = 0;
    for (;;) {
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) {
            const int error = errno;
            ::kill(-pid, SIGKILL);
            std::error_code ignored;
            std::filesystem::remove(messageFile, ignored);
            throw DatabaseError("The Access reader's outcome could not be learnt: " + std::string(std::strerror(error)));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            result.outcome = HelperResult::Outcome::TimedOut;
            std::filesystem::remove(messageFile);
            return result;
        }
        if (whileWaiting) whileWaiting();
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
    if (WIFSIGNALED(status)) {
        result.outcome = HelperResult::Outcome::Signalled;
        result.code = WTERMSIG(status);
    } else {
        result.outcome = HelperResult::Outcome::Exited;
        result.code = WEXITSTATUS(status);
    }
    result.message = readMessage(messageFile);
    std::error_code ec;
    std::filesystem::remove(messageFile, ec);
    return result;
}

std::vector<std::filesystem::path> helperCandidates(const std::filesystem::path& programFolder,
                                                    const std::string& name) {
    return {programFolder / name, (programFolder / PONTREL_HELPER_FOLDER / name).lexically_normal()};
}

std::string helperPath(const std::string& name) {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) throw DatabaseError("The program's own location could not be found, so the program '" + name +
                                "', which reads Access databases, cannot be started");
    std::vector<std::filesystem::path> candidates = helperCandidates(self.parent_path(), name);
    for (const std::filesystem::path& helper : candidates) {
        struct stat info {};
        if (::stat(helper.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IXUSR))
            return helper.string();
    }
    throw DatabaseError("The program '" + name + "', which reads Access databases, is missing: it is neither '" +
                        candidates[0].string() + "' nor '" + candidates[1].string() + "'");
}

ScratchFolder::ScratchFolder() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    listed_ = cleanup::Registered::newFolder((base / "pontrel-run-XXXXXX").string());
    if (listed_.path().empty())
        throw DatabaseError("No temporary folder could be created in '" + base.string() + "': " +
                            std::strerror(errno), errno == ENOSPC ? DatabaseError::Cause::NoSpace
                                                                  : DatabaseError::Cause::Other);
    path_ = listed_.path();
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace pontrel::data
