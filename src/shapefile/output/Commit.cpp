// The all-or-nothing commit of a file set. Files being replaced are kept under temporary names
// (hard links where the file system allows) until the last rename has succeeded, and are put back
// when one fails. The principal file (a shapefile's .shp) takes its name last: until then, no
// reader sees a new output.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "shapefile/ShapeFileError.h"
#include "shapefile/output/DestinationLock.h"
#include "shapefile/output/FileSet.h"

namespace pontrel::shapefile::output {

namespace {

std::string nameOf(const std::string& stem) {
    std::size_t slash = stem.rfind('/');
    return slash == std::string::npos ? stem : stem.substr(slash + 1);
}

// One file's way to its final name, and how far it went.
struct Step {
    const CreatedFile* file;
    std::string target;
    std::string kept;
    bool linked = false;  // the old file is also under `kept`
    bool moved = false;   // the old file is only under `kept`
    bool placed = false;  // the new file has the final name
};

// Puts back what the steps changed, last first.
void restore(const std::vector<Step>& steps) {
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        if (step->placed && !step->linked && !step->moved) ::unlink(step->target.c_str());
        else if (step->placed || step->moved) std::rename(step->kept.c_str(), step->target.c_str());
        else if (step->linked) ::unlink(step->kept.c_str());
    }
}

}  // namespace

void FileSet::commit() {
    DestinationLock lock(prefix_ + "." + nameOf(stem_) + ".pontrel-lock", shapefile_, noun_);
    cleanup::InterruptionsHeld held;

    std::vector<Step> steps;
    for (const auto& file : created_)
        if (file->extension != principal_)
            steps.push_back({file.get(), stem_ + file->extension, tempStem_ + ".old" + file->extension});
    steps.push_back({&file(principal_.c_str()), stem_ + principal_, tempStem_ + ".old" + principal_});
    auto fail = [&](const std::string& message) {
        restore(steps);
        throw ShapeFileError(message);
    };

    for (Step& step : steps) {
        // The temporary name must still be the file created there.
        struct stat named {}, made {};
        if (::lstat(step.file->path.c_str(), &named) != 0 || ::fstat(step.file->fd.get(), &made) != 0 ||
            named.st_dev != made.st_dev || named.st_ino != made.st_ino)
            fail("The temporary file '" + step.file->path + "' was removed or replaced by another "
                 "program, so the " + noun_ + " '" + shapefile_ + "' is not written");
    }
    for (Step& step : steps) {
        struct stat old {};
        if (::lstat(step.target.c_str(), &old) != 0) {
            if (errno == ENOENT) continue;
            fail("The file '" + step.target + "' cannot be replaced: " + std::strerror(errno));
        }
        if (S_ISDIR(old.st_mode))
            fail("'" + step.target + "' is a folder, so the " + noun_ + " cannot take its name");
        if (::link(step.target.c_str(), step.kept.c_str()) == 0) {
            step.linked = true;
        } else if (std::rename(step.target.c_str(), step.kept.c_str()) == 0) {
            step.moved = true;
        } else {
            fail("The file '" + step.target + "' cannot be replaced: " + std::strerror(errno));
        }
    }
    for (Step& step : steps) {
        if (std::rename(step.file->path.c_str(), step.target.c_str()) != 0)
            fail("The file '" + step.target + "' could not be written: " + std::strerror(errno));
        step.placed = true;
    }
    for (Step& step : steps)
        if (step.linked || step.moved) ::unlink(step.kept.c_str());
    for (const auto& file : created_) file->listed.release();
    created_.clear();
}

}  // namespace pontrel::shapefile::output
