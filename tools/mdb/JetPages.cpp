#include "JetPages.h"

#include <stdexcept>

namespace pontrel::tools::jet {

PageFile::PageFile(const std::string& path) : path_(path) {
    out_.open(path, std::ios::binary | std::ios::out | std::ios::trunc);
    if (!out_) throw std::runtime_error("cannot create " + path);
}

std::uint32_t PageFile::allocate(std::uint32_t count) {
    // Jet page numbers fill 24 bits of a page/row pointer.
    if (count_ + static_cast<std::uint64_t>(count) > 0xFFFFFF)
        throw std::runtime_error(path_ + ": the database outgrows the Access file format");
    std::uint32_t first = count_;
    count_ += count;
    return first;
}

void PageFile::write(std::uint32_t number, const Page& page) {
    std::uint64_t offset = static_cast<std::uint64_t>(number) * kPageSize;
    if (offset != position_) out_.seekp(static_cast<std::streamoff>(offset));
    out_.write(reinterpret_cast<const char*>(page.data()), static_cast<std::streamsize>(page.size()));
    position_ = offset + kPageSize;
    if (!out_) throw std::runtime_error("cannot write " + path_);
}

void PageFile::close() {
    out_.close();
    if (!out_) throw std::runtime_error("cannot write " + path_);
}

DataPage::DataPage(std::uint32_t number, std::uint32_t owner) : number_(number) {
    page_[0] = 0x01;
    page_[1] = 0x01;
    put32(&page_[4], owner);
}

int DataPage::add(const std::uint8_t* row, std::size_t size) {
    top_ -= size;
    std::memcpy(&page_[top_], row, size);
    put16(&page_[kDataPageHeader + 2 * static_cast<std::size_t>(rows_)], static_cast<std::uint32_t>(top_));
    return rows_++;
}

const Page& DataPage::finished() {
    put16(&page_[2], static_cast<std::uint32_t>(top_ - kDataPageHeader - 2 * static_cast<std::size_t>(rows_)));
    put16(&page_[12], static_cast<std::uint32_t>(rows_));
    return page_;
}

}  // namespace pontrel::tools::jet
