#pragma once
// The three files that records are appended to once the headers exist: the .shp's point records,
// the .shx's index entries and the .dbf's attribute records, each a background file; and what
// their headers must say at the end (the record count, the files' lengths and the points' bounds),
// which finish() writes. The ShapeFiles object owns this from WriteFieldLayout to close.

#include <cstddef>
#include <cstdint>
#include <string>

#include "shapefile/output/BackgroundFile.h"
#include "shapefile/output/FileSet.h"

namespace pontrel::shapefile {

class RecordFiles {
public:
    // The files of `set`, named in messages after `stem` (the final names without extension).
    RecordFiles(const output::FileSet& set, const std::string& stem, std::uint64_t dbfHeaderLength,
                std::size_t recordLength);

    std::size_t records() const { return records_; }
    // Appends one record: its point and its .dbf bytes.
    void appendRecord(double x, double y, const char* dbf);
    // Hands `rows` formatted records to the writer threads, which write them from the caller's
    // bytes; settle() waits for them, before the bytes are used again. `bounds` are the block's.
    void appendBlock(const char* shp, const char* shx, const char* dbf, std::size_t rows,
                     const double* bounds);
    void settle();
    void settleQuietly() noexcept;
    // Completes the headers, ends the .dbf and closes the files.
    void finish();

private:
    output::BackgroundFile shp_;
    output::BackgroundFile shx_;
    output::BackgroundFile dbf_;
    std::size_t recordLength_;
    std::size_t records_ = 0;
    double bounds_[4] = {0, 0, 0, 0};  // x min, y min, x max, y max
};

}  // namespace pontrel::shapefile
