#pragma once
// The in-memory value arrays of one conversion: one row per sample row (row 0 unused, as the
// rows count from 1), one column per attribute (column 0 unused). Texts are held once each and
// shared between cells, since a station's name repeats in thousands of rows.

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pontrel {

// Rearranges the rows of `cells` (each `width` values) in place so that row r holds what row
// order[r] held; `order` lists every row exactly once. Follows each cycle of the rearrangement
// once, with one row held aside, so that no second copy of the cells is needed.
template <typename T>
void permuteRows(std::vector<T>& cells, std::size_t width, const std::vector<std::uint32_t>& order) {
    std::vector<bool> placed(order.size(), false);
    std::vector<T> held(width);
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (placed[start] || order[start] == start) continue;
        std::move(cells.begin() + start * width, cells.begin() + (start + 1) * width, held.begin());
        std::size_t to = start;
        for (;;) {
            placed[to] = true;
            const std::size_t from = order[to];
            if (from == start) {
                std::move(held.begin(), held.end(), cells.begin() + to * width);
                break;
            }
            std::move(cells.begin() + from * width, cells.begin() + (from + 1) * width, cells.begin() + to * width);
            to = from;
        }
    }
}

template <typename T>
class Matrix {
public:
    void resize(std::size_t rows, std::size_t columns) {
        columns_ = columns;
        rows_ = rows;
        cells_.assign(rows * columns, T{});
    }
    // Changes the number of rows, keeping the cells of the rows that stay; new cells are empty.
    void resizeRows(std::size_t rows) {
        rows_ = rows;
        cells_.resize(rows * columns_, T{});
    }
    T& operator()(std::size_t row, std::size_t column) { return cells_[row * columns_ + column]; }
    const T& operator()(std::size_t row, std::size_t column) const {
        return cells_[row * columns_ + column];
    }
    // Row r takes what row order[r] held (order lists every row once).
    void permuteRows(const std::vector<std::uint32_t>& order) { pontrel::permuteRows(cells_, columns_, order); }
    std::size_t rows() const { return rows_; }
    std::size_t columns() const { return columns_; }

private:
    std::vector<T> cells_;
    std::size_t rows_ = 0;
    std::size_t columns_ = 0;
};

// A matrix of texts whose cells refer to a pool of distinct texts. Every cell starts empty.
class TextMatrix {
public:
    void resize(std::size_t rows, std::size_t columns) {
        ids_.resize(rows, columns);
        pool_.clear();
        index_.clear();
        intern("");
    }
    void set(std::size_t row, std::size_t column, std::string_view text) {
        ids_(row, column) = intern(text);
    }
    const std::string& operator()(std::size_t row, std::size_t column) const {
        return pool_[ids_(row, column)];
    }
    void resizeRows(std::size_t rows) { ids_.resizeRows(rows); }
    void permuteRows(const std::vector<std::uint32_t>& order) { ids_.permuteRows(order); }
    std::size_t rows() const { return ids_.rows(); }
    std::size_t columns() const { return ids_.columns(); }
    std::size_t distinctTexts() const { return pool_.size(); }

private:
    std::uint32_t intern(std::string_view text) {
        auto found = index_.find(text);
        if (found != index_.end()) return found->second;
        pool_.emplace_back(text);
        auto id = static_cast<std::uint32_t>(pool_.size() - 1);
        index_.emplace(pool_.back(), id);
        return id;
    }

    Matrix<std::uint32_t> ids_;
    std::deque<std::string> pool_;  // stable addresses: index_ keys view into it
    std::unordered_map<std::string_view, std::uint32_t> index_;
};

}  // namespace pontrel
