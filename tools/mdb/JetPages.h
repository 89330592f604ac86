#pragma once
// The pages of a Jet 4 file. PageFile owns the output file: it hands out page numbers and writes
// each page at its place, in any order. DataPage builds one data or long-value page in memory,
// stacking rows down from the end of the page as Jet does.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

namespace pontrel::tools::jet {

constexpr std::size_t kPageSize = 4096;
using Page = std::array<std::uint8_t, kPageSize>;

inline void put16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void put32(std::uint8_t* at, std::uint32_t value) {
    put16(at, value);
    put16(at + 2, value >> 16);
}

inline void putDouble(std::uint8_t* at, double value) {
    static_assert(sizeof(double) == 8);
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    put32(at, static_cast<std::uint32_t>(bits));
    put32(at + 4, static_cast<std::uint32_t>(bits >> 32));
}

class PageFile {
public:
    // Creates (or empties) the file. Throws std::runtime_error when it cannot.
    explicit PageFile(const std::string& path);
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    // The first of count new, consecutive page numbers. Each must be written before close().
    std::uint32_t allocate(std::uint32_t count = 1);
    std::uint32_t pageCount() const { return count_; }
    void write(std::uint32_t number, const Page& page);
    // Flushes and closes; throws std::runtime_error when the data did not reach the file.
    void close();

private:
    std::string path_;
    std::ofstream out_;
    std::uint32_t count_ = 0;
    std::uint64_t position_ = 0;  // where the stream stands, to skip needless seeks
};

// Rows of a data page are addressed by one byte in a page/row pointer, and a page holds at most
// this many, as in files Access writes.
constexpr int kMaxRowsPerPage = 255;
// Page header (14 bytes) and one row offset: what a page holding a single row leaves for it.
constexpr std::size_t kDataPageHeader = 14;
constexpr std::size_t kMaxRowSize = kPageSize - kDataPageHeader - 2;

class DataPage {
public:
    // owner: the table definition page the rows belong to; long-value pages use kLongValueOwner.
    DataPage(std::uint32_t number, std::uint32_t owner);

    bool fits(std::size_t rowSize) const {
        return rows_ < kMaxRowsPerPage && kDataPageHeader + 2 * (rows_ + 1) + rowSize <= top_;
    }
    bool empty() const { return rows_ == 0; }
    // Adds a row that fits; returns its row number on this page.
    int add(const std::uint8_t* row, std::size_t size);
    std::uint32_t number() const { return number_; }
    // The page with its free-space count filled in.
    const Page& finished();

private:
    Page page_{};
    std::uint32_t number_;
    int rows_ = 0;
    std::size_t top_ = kPageSize;  // the lowest byte used by rows
};

// "LVAL" where a data page names its table.
constexpr std::uint32_t kLongValueOwner = 0x4C41564C;

}  // namespace pontrel::tools::jet
