#pragma once
// The names the files of a shapefile (or of a GeoPackage, .gpkg) have until they take their final
// names:
// .pontrel-HOST-PID-RANDOM.EXT for a new file, and .pontrel-HOST-PID-RANDOM.old.EXT for a file it
// replaces, kept until the new set is in place. The random part makes the next name impossible to
// guess; the host and the process tell a later run whether the files' writer still lives.
// Pure functions, no state.

#include <optional>
#include <string>

namespace pontrel::shapefile::output {

// The host's name as it goes into temporary names: a folder shared over the network holds the
// temporary files of processes on other hosts, whose process ids mean nothing here.
std::string hostTag();

// A fresh temporary stem (without extension) in the folder `prefix` ("dir/" or empty).
std::string newTemporaryStem(const std::string& prefix);

// What a directory entry's name tells when it is a temporary name.
struct TemporaryName {
    std::string host;
    long long pid = 0;
    bool old = false;  // the kept copy of a replaced file
};
std::optional<TemporaryName> parseTemporaryName(const char* name);

}  // namespace pontrel::shapefile::output
