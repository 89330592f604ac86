#pragma once
// One file of a shapefile's set as this program created it under a temporary name: the path, the
// descriptor it was created with (which every later stream on it duplicates, so that nothing is
// ever reopened by name), and its entry in the registry of files an interruption removes. The
// file set owns these; the file itself is removed by the set, or renamed by the commit.

#include <string>

#include "common/FileDescriptor.h"
#include "common/TemporaryFiles.h"

namespace pontrel::shapefile::output {

struct CreatedFile {
    CreatedFile(std::string createdPath, int createdFd)
        : path(std::move(createdPath)), fd(createdFd), listed(path, cleanup::Registered::Kind::File) {
        std::size_t dot = path.rfind('.');
        extension = dot == std::string::npos ? std::string() : path.substr(dot);
    }
    CreatedFile(const CreatedFile&) = delete;
    CreatedFile& operator=(const CreatedFile&) = delete;

    std::string path;
    std::string extension;  // ".shp"
    FileDescriptor fd;
    cleanup::Registered listed;  // removed on an interruption
};

}  // namespace pontrel::shapefile::output
