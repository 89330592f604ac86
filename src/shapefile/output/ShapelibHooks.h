#pragma once
// shapelib's file I/O, routed through stdio with every failure kept for the message instead of
// lost (shapelib ignores the result of closing a file, where buffered data is finally written).
// Files are created only with O_EXCL and O_NOFOLLOW, so nothing is ever written through a link or
// into a file someone else placed at a temporary name; shapelib reopens the files it has just
// created, and gets a new stream on the descriptor they were created with instead of the path.
// A HookErrors object, on the calling thread's stack, owns the collected failure while it lives;
// the files created meanwhile go into the list it is given, which the caller owns.

#include <shapefil.h>

#include <memory>
#include <string>
#include <vector>

#include "shapefile/output/CreatedFile.h"

namespace pontrel::shapefile::output {

using CreatedFiles = std::vector<std::unique_ptr<CreatedFile>>;

// The hooks to pass to shapelib's ...LL functions.
SAHooks* shapelibHooks();

// Collects the first failure that shapelib reports on this thread while it lives, and lets
// shapelib create and reopen the files of `files`.
class HookErrors {
public:
    explicit HookErrors(CreatedFiles* files = nullptr);
    ~HookErrors();
    HookErrors(const HookErrors&) = delete;
    HookErrors& operator=(const HookErrors&) = delete;
    const std::string& text() const { return text_; }
    bool any() const { return !text_.empty(); }
    // A file to be created was found already there.
    bool nameTaken() const;

private:
    std::string text_;
    std::string* previous_;
    CreatedFiles* previousFiles_;
};

// Creates `path` as the hooks create a file, and writes `bytes` to it; a failure goes to the
// HookErrors in force. False when the file could not be created.
bool writeNewFile(const std::string& path, const std::string& bytes);

}  // namespace pontrel::shapefile::output
