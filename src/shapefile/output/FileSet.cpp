#include "shapefile/output/FileSet.h"

#include <unistd.h>

#include <stdexcept>

#include "shapefile/ShapeFileError.h"
#include "shapefile/output/TemporaryNames.h"

namespace pontrel::shapefile::output {

FileSet::FileSet(std::string stem, std::string prefix, std::string shapefile, std::string folder)
    : stem_(std::move(stem)), prefix_(std::move(prefix)), shapefile_(std::move(shapefile)), folder_(std::move(folder)) {}

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
