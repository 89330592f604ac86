#pragma once
// An advisory lock on a file beside the shapefile (.NAME.pontrel-lock), held while a set of files
// takes the final names, so that two runs writing the same shapefile never mix their files. The
// holder owns the lock file and removes it when it lets go, or, listed with the run's temporary
// files, when the run is interrupted; a waiter that then holds a removed file tries again.

#include <string>

#include "common/FileDescriptor.h"
#include "common/TemporaryFiles.h"

namespace pontrel::shapefile::output {

class DestinationLock {
public:
    static constexpr int kWaitSeconds = 60;

    // Waits up to kWaitSeconds for the lock at `path`; `output` names what it is for in the
    // message when it is not had, `noun` says what that is ("shapefile", "GeoPackage").
    DestinationLock(std::string path, const std::string& output, const std::string& noun = "shapefile");
    ~DestinationLock();
    DestinationLock(const DestinationLock&) = delete;
    DestinationLock& operator=(const DestinationLock&) = delete;

private:
    FileDescriptor openLockFile();
    [[noreturn]] void fail(int error) const;

    std::string path_;
    FileDescriptor fd_;
    cleanup::Registered listed_;  // while held: removed on an interruption
};

}  // namespace pontrel::shapefile::output
