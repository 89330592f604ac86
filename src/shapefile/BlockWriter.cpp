#include "shapefile/BlockWriter.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "common/WorkQueue.h"
#include "shapefile/RecordBytes.h"
#include "shapefile/ShapeFileError.h"

namespace pontrel::shapefile {

namespace {

// Consecutive records formatted together: their .dbf, .shp and .shx bytes, and the Record that
// writes them, whose cache of recent values lives as long as the block's bytes.
struct Block {
    explicit Block(const RecordLayout& layout) : record(layout) {}
    std::size_t first = 0;    // the records before it in the file
    std::size_t planned = 0;  // the records it is to hold
    std::size_t rows = 0;     // the records formatted: fewer than planned after a failure
    std::vector<char> dbf, shp, shx;
    double bounds[4] = {0, 0, 0, 0};
    std::exception_ptr failure;
    Record record;
    WorkQueue::Ticket formatted;
};

// Formats the records of `block` through `fill`, stopping at the first that fails.
void format(const RecordLayout& layout, Block& block, const std::function<void(Record&)>& fill) {
    const std::size_t length = layout.length;
    block.dbf.resize(block.planned * length);
    std::memset(block.dbf.data(), ' ', block.dbf.size());
    block.shp.resize(block.planned * kPointRecordBytes);
    block.shx.resize(block.planned * kShxEntryBytes);
    block.rows = 0;
    block.failure = nullptr;
    Record& record = block.record;
    record.forget();
    try {
        for (std::size_t i = 0; i < block.planned; ++i) {
            const std::size_t index = block.first + i;
            record.start(index + 1, block.dbf.data() + i * length);
            fill(record);
            if (!record.hasPoint())
                throw ShapeFileError("Row " + std::to_string(index + 1) + " of the shapefile '" +
                                     layout.shapefile + "' has no point");
            putPoint(block.shp.data() + i * kPointRecordBytes,
                     block.shx.data() + i * kShxEntryBytes, index, record.x(), record.y());
            includePoint(block.bounds, i == 0, record.x(), record.y());
            block.rows = i + 1;
        }
    } catch (...) {
        block.failure = std::current_exception();
    }
}

}  // namespace

void writeRecordBlocks(const RecordLayout& layout, RecordFiles& files, BlockPlan plan,
                       std::size_t count, const std::function<void(Record&)>& fill,
                       const std::function<void(std::size_t)>& written) {
    const std::size_t perBlock =
        plan.records > 0 ? plan.records : std::max<std::size_t>(1, kBlockBytes / layout.length);
    const std::size_t blocks = (count - 1) / perBlock + 1;
    const std::size_t base = files.records();
    const unsigned threads = workThreadsFor(plan.threads, blocks);

    // A ring of blocks, each formatted ahead on the queue and written here in turn. With one
    // thread wanted, the queue has none and each block is formatted as it is submitted.
    std::vector<std::unique_ptr<Block>> ring;
    for (std::size_t i = 0; i < (threads > 1 ? 2 * std::size_t{threads} : 1); ++i)
        ring.push_back(std::make_unique<Block>(layout));
    std::atomic<std::size_t> limit{blocks};  // none is formatted from here on: one before failed
    WorkQueue queue(threads > 1 ? threads : 0);
    struct Stop {  // on the way out, the blocks still queued are left unformatted
        std::atomic<std::size_t>& limit;
        ~Stop() { limit = 0; }
    } stop{limit};

    auto submit = [&](std::size_t index) {
        Block& block = *ring[index % ring.size()];
        block.first = base + index * perBlock;
        block.planned = std::min(perBlock, count - index * perBlock);
        block.formatted = queue.submit([&layout, &block, &fill, &limit, index] {
            if (index >= limit) return;
            format(layout, block, fill);
            if (!block.failure) return;
            std::size_t seen = limit;
            while (index + 1 < seen && !limit.compare_exchange_weak(seen, index + 1)) {
            }
        });
    };
    for (std::size_t index = 0; index < std::min(blocks, ring.size()); ++index) submit(index);

    std::size_t done = 0;
    for (std::size_t index = 0; index < blocks; ++index) {
        Block& block = *ring[index % ring.size()];
        queue.wait(block.formatted);
        try {
            files.appendBlock(block.shp.data(), block.shx.data(), block.dbf.data(), block.rows, block.bounds);
            for (std::size_t i = 0; i < block.rows; ++i) written(++done);
            files.settle();
        } catch (...) {
            // The writers must be done with the block's bytes before it goes.
            files.settleQuietly();
            throw;
        }
        if (block.failure) std::rethrow_exception(block.failure);
        if (index + ring.size() < blocks) submit(index + ring.size());
    }
}

}  // namespace pontrel::shapefile
