#pragma once
// Runs one of the program's helper executables in a process of its own: started with
// posix_spawn (the running program is never forked), with no inherited descriptors, default
// signal handling and its own process group, and killed when it outlives its time. What the
// helper writes on descriptor 3 is its message to the user. Nothing of it outlives runHelper.

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/TemporaryFiles.h"

namespace pontrel::data {

struct HelperResult {
    enum class Outcome { Exited, Signalled, TimedOut, NotStarted };
    Outcome outcome = Outcome::NotStarted;
    int code = 0;         // the exit status, or the signal that ended it
    std::string message;  // from descriptor 3, without its final line break
};

// `messageFile` receives descriptor 3 and is removed before returning. `whileWaiting`, when
// given, is called every few milliseconds while the helper runs (to show its progress);
// it must not throw.
HelperResult runHelper(const std::string& executable, const std::vector<std::string>& arguments,
                       std::chrono::milliseconds timeLimit, const std::string& messageFile,
                       const std::function<void()>& whileWaiting = {});

// Where a helper is looked for, in order, for a program in `programFolder`: next to the program
// (the build tree) and in the program's private folder of helpers relative to it (an installed
// package, wherever its tree was unpacked).
std::vector<std::filesystem::path> helperCandidates(const std::filesystem::path& programFolder,
                                                    const std::string& name);

// The first executable helper `name` among the candidates for the running executable; throws
// DatabaseError naming the places looked in when there is none.
std::string helperPath(const std::string& name);

// A private temporary folder, removed with everything in it when destroyed or interrupted.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    cleanup::Registered listed_;
};

}  // namespace pontrel::data
