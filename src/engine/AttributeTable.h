#pragma once
// The in-memory value arrays of one conversion: one row per sample row (row 0 unused, as the
// rows count from 1), one column per attribute (column 0 unused). Texts are held once each and
// shared between cells, since a station's name repeats in thousands of rows.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <type_traits>
#include <utility>
#include <string>
#include <string_view>
#include <functional>
#include <vector>

namespace pontrel {

// Rearranges the rows of `cells` (each `width` values) in place so that row r holds what row
// order[r] held; `order` lists every row exactly once. Follows each cycle of the rearrangement
// once, with one row held aside, so that no second copy of the cells is needed.
template <typename T>
void permuteRows(T* cells, std::size_t width, const std::vector<std::uint32_t>& order) {
    std::vector<bool> placed(order.size(), false);
    std::vector<T> held(width);
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (placed[start] || order[start] == start) continue;
        std::move(cells + start * width, cells + (start + 1) * width, held.begin());
        std::size_t to = start;
        for (;;) {
            placed[to] = true;
            const std::size_t from = order[to];
            if (from == start) {
                std::move(held.begin(), held.end(), cells + to * width);
                break;
            }
            std::move(cells + from * width, cells + (from + 1) * width, cells + to * width);
            to = from;
        }
    }
}

// Numbers whose empty value is all zero bytes, taken zeroed from the system: a large block comes
// as pages the system zeroes when they are first written (not a pass of the program's own), and
// growing it moves its pages rather than copying them.
template <typename T>
class ZeroedCells {
    static_assert(std::is_arithmetic_v<T>, "cells must be numbers, empty as zero bytes");

public:
    ZeroedCells() = default;
    ZeroedCells(const ZeroedCells& other) {
        resize(other.size_);
        if (size_) std::memcpy(data_, other.data_, size_ * sizeof(T));
    }
    ZeroedCells(ZeroedCells&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    ZeroedCells& operator=(ZeroedCells other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        return *this;
    }
    ~ZeroedCells() { std::free(data_); }

    // `count` cells, all empty.
    void assignEmpty(std::size_t count) {
        std::free(data_);
        data_ = nullptr;
        size_ = capacity_ = 0;
        if (count == 0) return;
        data_ = static_cast<T*>(std::calloc(count, sizeof(T)));
        if (data_ == nullptr) throw std::bad_alloc();
        size_ = capacity_ = count;
    }
    // Keeps the first cells; new ones are empty. The room grows by at least half each time.
    void resize(std::size_t count) {
        if (count > capacity_) {
            const std::size_t room = std::max(count, capacity_ + capacity_ / 2);
            T* grown = static_cast<T*>(std::realloc(data_, room * sizeof(T)));
            if (grown == nullptr) throw std::bad_alloc();
            data_ = grown;
            capacity_ = room;
        }
        if (count > size_) std::memset(static_cast<void*>(data_ + size_), 0, (count - size_) * sizeof(T));
        size_ = count;
    }
    T& operator[](std::size_t index) { return data_[index]; }
    const T& operator[](std::size_t index) const { return data_[index]; }
    T* data() { return data_; }
    std::size_t size() const { return size_; }

private:
    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

template <typename T>
class Matrix {
public:
    void resize(std::size_t rows, std::size_t columns) {
        columns_ = columns;
        rows_ = rows;
        cells_.assignEmpty(rows * columns);
    }
    // Changes the number of rows, keeping the cells of the rows that stay; new cells are empty.
    void resizeRows(std::size_t rows) {
        rows_ = rows;
        cells_.resize(rows * columns_);
    }
    T& operator()(std::size_t row, std::size_t column) { return cells_[row * columns_ + column]; }
    const T& operator()(std::size_t row, std::size_t column) const {
        return cells_[row * columns_ + column];
    }
    // Row r takes what row order[r] held (order lists every row once).
    void permuteRows(const std::vector<std::uint32_t>& order) { pontrel::permuteRows(cells_.data(), columns_, order); }
    // Row `to` takes the cells of row `from`.
    void copyRow(std::size_t from, std::size_t to) {
        std::copy_n(cells_.data() + from * columns_, columns_, cells_.data() + to * columns_);
    }
    std::size_t rows() const { return rows_; }
    std::size_t columns() const { return columns_; }

private:
    ZeroedCells<T> cells_;
    std::size_t rows_ = 0;
    std::size_t columns_ = 0;
};

// A matrix of texts whose cells refer to a pool of distinct texts. Every cell starts empty.
class TextMatrix {
public:
    void resize(std::size_t rows, std::size_t columns) {
        ids_.resize(rows, columns);
        pool_.clear();
        slots_.assign(64, Slot{});
        intern("");
    }
    void set(std::size_t row, std::size_t column, std::string_view text) {
        ids_(row, column) = intern(text);
    }
    const std::string& operator()(std::size_t row, std::size_t column) const {
        return pool_[ids_(row, column)];
    }
    // The number of a cell's text: cells holding the same text have the same number.
    std::uint32_t id(std::size_t row, std::size_t column) const { return ids_(row, column); }
    const std::string& text(std::uint32_t id) const { return pool_[id]; }
    void resizeRows(std::size_t rows) { ids_.resizeRows(rows); }
    void permuteRows(const std::vector<std::uint32_t>& order) { ids_.permuteRows(order); }
    void copyRow(std::size_t from, std::size_t to) { ids_.copyRow(from, to); }
    std::size_t rows() const { return ids_.rows(); }
    std::size_t columns() const { return ids_.columns(); }
    std::size_t distinctTexts() const { return pool_.size(); }

private:
    // The index of the pool: open addressing over a power-of-two table kept at most half full,
    // each slot with the text's hash, so that most probes compare no text.
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t idPlusOne = 0;  // 0: empty
    };

    std::uint32_t intern(std::string_view text) {
        const auto hash = static_cast<std::uint32_t>(std::hash<std::string_view>{}(text));
        if (slots_.empty()) grow();
        const std::size_t mask = slots_.size() - 1;
        std::size_t at = hash & mask;
        for (; slots_[at].idPlusOne != 0; at = (at + 1) & mask)
            if (slots_[at].hash == hash && pool_[slots_[at].idPlusOne - 1] == text) return slots_[at].idPlusOne - 1;
        pool_.emplace_back(text);
        const auto id = static_cast<std::uint32_t>(pool_.size() - 1);
        slots_[at] = Slot{hash, id + 1};
        if (pool_.size() * 2 > slots_.size()) grow();
        return id;
    }

    void grow() {
        std::vector<Slot> old(std::max<std::size_t>(64, slots_.size() * 2));
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.idPlusOne == 0) continue;
            std::size_t at = slot.hash & mask;
            while (slots_[at].idPlusOne != 0) at = (at + 1) & mask;
            slots_[at] = slot;
        }
    }

    Matrix<std::uint32_t> ids_;
    std::deque<std::string> pool_;  // stable addresses: a cell's text stays where it is
    std::vector<Slot> slots_;
};

}  // namespace pontrel
