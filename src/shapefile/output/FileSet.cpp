#include "shapefile/output/FileSet.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "shapefile/ShapeFileError.h"
#include "shapefile/output/TemporaryNames.h"

namespace pontrel::shapefile::output {

FileSet::FileSet(std::string stem, std::string prefix, std::string shapefile, std::string folder,
                 std::string principal, std::string noun)
    : stem_(std::move(stem)), prefix_(std::move(prefix)), shapefile_(std::move(shapefile)),
      folder_(std::move(folder)), principal_(std::move(principal)), noun_(std::move(noun)) {}

void FileSet::create(const Maker* more) {
    constexpr int kAttempts = 8;
    for (int attempt = 1;; ++attempt) {
        discard();
        tempStem_ = newTemporaryStem(prefix_);
        HookErrors errors(&created_);
        SHPHandle shp = SHPCreateLL((tempStem_ + ".shp").c_str(), SHPT_POINT, shapelibHooks());
        if (shp) SHPClose(shp);
        std::string failure;
        if (!shp || errors.any())
            failure = "The shapefile '" + shapefile_ + "' cannot be created in the folder '" + folder_ +
                      "': " + (errors.any() ? errors.text() : "unknown failure");
        else if (more)
            failure = (*more)(tempStem_, errors);
        if (failure.empty()) return;
        if (!errors.nameTaken() || attempt == kAttempts) {
            discard();
            throw ShapeFileError(failure);
        }
    }
}

void FileSet::createWith(const std::function<void(const std::string& path)>& make) {
    constexpr int kAttempts = 8;
    for (int attempt = 1;; ++attempt) {
        discard();
        tempStem_ = newTemporaryStem(prefix_);
        const std::string path = tempStem_ + principal_;
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && attempt < kAttempts) continue;
        cleanup::Registered pending;
        {
            cleanup::InterruptionsHeld held;
            pending = cleanup::Registered(path, cleanup::Registered::Kind::File);
        }
        try {
            make(path);
        } catch (...) {
            ::unlink(path.c_str());
            throw;
        }
        // The file the library made, opened as it is now: never through a link, and locked for as
        // long as the run has it, which tells the clean-up of other runs that it is no leftover.
        FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        const int error = !fd ? errno : 0;
        if (fd && ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
            created_.push_back(std::make_unique<CreatedFile>(path, fd.release()));
            return;
        }
        ::unlink(path.c_str());
        if (attempt == kAttempts)
            throw ShapeFileError("The " + noun_ + " '" + shapefile_ + "' cannot be created in the folder '" +
                                 folder_ + "': " + (error ? std::strerror(error) : "its temporary file was taken"));
    }
}

void FileSet::add(const Maker& make) {
    HookErrors errors(&created_);
    std::string failure = make(tempStem_, errors);
    if (!failure.empty() && !errors.nameTaken()) throw ShapeFileError(failure);
    if (!failure.empty()) create(&make);
}

const CreatedFile& FileSet::file(const char* extension) const {
    for (const auto& file : created_)
        if (file->extension == extension) return *file;
    throw std::logic_error(std::string("The shapefile component did not create its ") + extension + " file");
}

void FileSet::discard() noexcept {
    for (const auto& file : created_) ::unlink(file->path.c_str());
    created_.clear();
}

}  // namespace pontrel::shapefile::output
