#pragma once
// What a run keeps on disk only while it lasts (temporary output files, private folders) and the
// helper process group it starts. Each owner registers them here for as long as they exist, so
// that an interruption (SIGINT, SIGTERM, SIGHUP) ends the helper and removes them before the
// program ends with status 128 + the signal. The owners keep owning them; the registry only
// lists paths in fixed storage that the signal handler reads with async-signal-safe calls.

#include <sys/types.h>

#include <csignal>
#include <string>

#include "common/FileDescriptor.h"

namespace pontrel::cleanup {

// A file or a folder (removed with the files in it) listed while this object lives.
class Registered {
public:
    enum class Kind { File, Folder };
    Registered() = default;
    Registered(const std::string& path, Kind kind);
    ~Registered();
    Registered(Registered&& other) noexcept;
    Registered& operator=(Registered&& other) noexcept;
    Registered(const Registered&) = delete;
    Registered& operator=(const Registered&) = delete;
    // Takes the entry off the list without removing anything (the file got its final name).
    void release() noexcept;

    // Creates a private folder from `pattern` (ending in XXXXXX, as for mkdtemp) and lists it,
    // with interruptions held in between so that it never exists unlisted. The folder stays
    // locked (flock) while the result lives, which tells later runs that it is no leftover;
    // before creating it, the folders of the same pattern that a killed run left (owned by this
    // user, and whose lock can be taken) are removed, so the pattern must be this program's
    // alone and used only through here. On failure the result lists nothing, its path is empty
    // and errno tells why.
    static Registered newFolder(const std::string& pattern);
    const std::string& path() const { return path_; }

private:
    int slot_ = -1;
    std::string path_;
    FileDescriptor lock_;  // a folder's, held while it is listed
};

// The process group of a running helper, ended on an interruption; 0 for none.
void setHelperGroup(pid_t group) noexcept;

// Installs the handlers for SIGINT, SIGTERM and SIGHUP. Called once by each program's main.
void installInterruptionHandlers();

// Holds back the interruption signals while it lives, so that a step that must not stop half
// way (renaming a set of files) completes; a signal that arrived meanwhile is handled after.
class InterruptionsHeld {
public:
    InterruptionsHeld();
    ~InterruptionsHeld();
    InterruptionsHeld(const InterruptionsHeld&) = delete;
    InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

private:
    sigset_t previous_;
};

}  // namespace pontrel::cleanup
