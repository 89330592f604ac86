#pragma once
// The files of one shapefile while it is written: created afresh under unpredictable temporary
// names in the destination folder (through shapelib's hooks, so that shapelib writes their
// headers), and either all given their final names by commit() or all removed. A GeoPackage is a
// set of one file, which a library creates by name (createWith). The set owns the
// files it created, with their descriptors and registry entries, until commit() hands them over
// to their final names; destroyed before that, it removes them.

#include <functional>
#include <string>

#include "shapefile/output/ShapelibHooks.h"

namespace pontrel::shapefile::output {

class FileSet {
public:
    // Creates more files of the set under the temporary stem, through shapelib and the hooks;
    // returns the failure's message, or empty.
    using Maker = std::function<std::string(const std::string& temporaryStem, const HookErrors& errors)>;

    // `stem`: the final names without extension; `prefix`: the folder as the start of a path
    // ("dir/", or empty); `shapefile` and `folder` as messages name them. `principal`: the file
    // that takes its name last, so that readers see no new output until the set is complete;
    // `noun`: what messages call the output.
    FileSet(std::string stem, std::string prefix, std::string shapefile, std::string folder,
            std::string principal = ".shp", std::string noun = "shapefile");
    ~FileSet() { discard(); }
    FileSet(const FileSet&) = delete;
    FileSet& operator=(const FileSet&) = delete;

    // Creates the .shp and .shx under fresh temporary names, then what `more` makes (if given). A
    // name found taken (by a file or link someone placed there) is given up for new names, a few
    // times, since no one can know the next ones. Anything created before is removed first.
    void create(const Maker* more);
    // Creates the set's one file, the principal, under a fresh temporary name through `make`,
    // which a library that creates its file by name does (and which throws when it fails): the
    // name is listed for removal on an interruption before the file exists, and the file is then
    // opened, without following links, and locked as the set's own. A name found taken is given
    // up for a new one.
    void createWith(const std::function<void(const std::string& path)>& make);
    // Has `make` add files to the set; where one of its names was taken, the whole set is made
    // again under new names by create(&make).
    void add(const Maker& make);

    const CreatedFile& file(const char* extension) const;
    // Gives every created file its final name, so that the final names hold either the whole new
    // set or, when any rename fails, the whole set that was there before. Waits for the lock of
    // the destination first.
    void commit();
    // Removes the files created so far.
    void discard() noexcept;

private:
    std::string stem_;
    std::string prefix_;
    std::string shapefile_;
    std::string folder_;
    std::string principal_;
    std::string noun_;
    std::string tempStem_;  // the temporary names without extension
    CreatedFiles created_;  // the set, in the order created
};

}  // namespace pontrel::shapefile::output
