#pragma once
// A table's rows read a batch at a time on a work queue thread of their own, while the caller
// inserts the batches before them, so that decoding and SQLite's inserts share the processor's
// cores. Until the RowBatches object is destroyed, the table is that thread's alone. A failure of
// the reading reaches the caller after the rows read before it. The object owns its batches; the
// one next() returns is the caller's until it is given back with recycle().

#include <atomic>
#include <deque>
#include <exception>
#include <memory>
#include <vector>

#include "access/MdbFile.h"
#include "common/WorkQueue.h"

namespace pontrel::data {

class RowBatches {
public:
    struct Batch {
        std::vector<MdbValue> values;  // `rows` rows of `width` values, one after the other
        std::size_t rows = 0;
        std::exception_ptr failure;  // what ended the reading after these rows
    };

    RowBatches(MdbTable& table, std::size_t width, std::size_t rowsPerBatch)
        : table_(table), width_(width), rowsPerBatch_(rowsPerBatch) {
        for (int i = 0; i < kBatchesInFlight; ++i) recycle(std::make_unique<Batch>());
    }
    ~RowBatches() { stop_ = true; }
    RowBatches(const RowBatches&) = delete;
    RowBatches& operator=(const RowBatches&) = delete;

    // The next batch in the table's order; nullptr after the last. Throws what stopped the reading.
    std::unique_ptr<Batch> next() {
        while (!ended_ && !inFlight_.empty()) {
            InFlight front = std::move(inFlight_.front());
            inFlight_.pop_front();
            reader_.wait(front.ticket);
            if (front.batch->failure || front.batch->rows == 0) {
                ended_ = true;
                failure_ = std::move(front.batch->failure);
            }
            if (front.batch->rows > 0) return std::move(front.batch);
        }
        if (failure_) std::rethrow_exception(failure_);
        return nullptr;
    }

    // Gives a written batch back to be filled again (its texts keep their memory).
    void recycle(std::unique_ptr<Batch> batch) {
        Batch& filled = *batch;
        inFlight_.push_back({std::move(batch), {}});
        inFlight_.back().ticket = reader_.submit([this, &filled] { fill(filled); });
    }

private:
    static constexpr int kBatchesInFlight = 4;
    static constexpr std::size_t kBatchBytes = 4 << 20;  // a batch ends after the row that passes it
    static constexpr std::size_t kKeptBytes = 64 << 10;  // larger texts give their memory back

    struct InFlight {
        std::unique_ptr<Batch> batch;
        WorkQueue::Ticket ticket;
    };

    // Reads rows into `batch` until it holds its number of rows or of bytes (long texts and
    // binary values), or the table has no more, or the reading fails (kept in the batch). Runs
    // on the reader, batch after batch in the order given.
    void fill(Batch& batch) {
        batch.rows = 0;
        batch.failure = nullptr;
        if (finished_ || stop_) return;
        try {
            batch.values.resize(rowsPerBatch_ * width_);
            for (MdbValue& value : batch.values)
                if (value.bytes.capacity() > kKeptBytes) std::string().swap(value.bytes);
            std::size_t bytes = 0;
            while (batch.rows < rowsPerBatch_ && bytes < kBatchBytes) {
                if (!table_.next(row_)) {
                    finished_ = true;
                    return;
                }
                for (std::size_t i = 0; i < width_; ++i) {
                    bytes += row_[i].bytes.size();
                    std::swap(batch.values[batch.rows * width_ + i], row_[i]);
                }
                ++batch.rows;
            }
        } catch (...) {
            batch.failure = std::current_exception();
            finished_ = true;
        }
    }

    MdbTable& table_;
    const std::size_t width_;
    const std::size_t rowsPerBatch_;
    std::vector<MdbValue> row_;  // the row being read: the reader's
    bool finished_ = false;      // the table has no more rows, or failed: the reader's
    std::atomic<bool> stop_{false};
    std::deque<InFlight> inFlight_;  // the caller's, in the order submitted
    bool ended_ = false;             // the caller has met the end
    std::exception_ptr failure_;     // the caller's, to throw after the last rows
    WorkQueue reader_{1};            // last: it finishes its batch before the rest goes
};

}  // namespace pontrel::data
