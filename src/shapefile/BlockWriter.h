#pragma once
// The parallel block writer behind ShapeFiles::WriteRecords: consecutive records are formatted in
// blocks on the threads of a work queue, at most a ring of blocks ahead of the writing, and
// handed to the record files in order on the calling thread. The writer owns its blocks and their
// Record objects for the call; the fill function and the files stay the caller's.

#include <cstddef>
#include <functional>

#include "shapefile/Record.h"
#include "shapefile/RecordFiles.h"

namespace pontrel::shapefile {

struct BlockPlan {
    std::size_t records = 0;  // per block; 0 chooses about kBlockBytes of attribute table
    unsigned threads = 0;     // 0 for one per processor
};

// WriteRecords formats blocks of about this many .dbf bytes: small enough for several to be in
// flight at little memory, large enough for the threads to meet rarely.
inline constexpr std::size_t kBlockBytes = std::size_t{512} << 10;

// Writes `count` records after those in `files`, each as `fill` writes it; `written` hears after
// each record the number written so far in this call. The first failure of `fill` stops the
// writing at that record: the records before it are written and reported, and the failure is
// thrown here; no block after the failed one is formatted.
void writeRecordBlocks(const RecordLayout& layout, RecordFiles& files, BlockPlan plan,
                       std::size_t count, const std::function<void(Record&)>& fill,
                       const std::function<void(std::size_t)>& written);

}  // namespace pontrel::shapefile
