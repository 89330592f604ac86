// The fold of Day mode's rows into visits. Each row goes to a point: the k-th row of a parameter
// within a visit (in row order) to the visit's k-th point, a row without a parameter to its
// first. The rows are then put in the order of their points (a rearrangement in place, one row
// held aside) and folded forward: the first row of a point moves to the point's place, and each
// further row writes its parameter's columns into it. A point's place is never after the place of
// any of its rows, so a row is always read before a point is written over it. Besides the table,
// the fold takes a few numbers per row (at most about 24 bytes), and its time grows as the rows.

#include "engine/VisitLayout.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "engine/SampleReading.h"

namespace pontrel {

namespace {

using Rows = std::vector<std::uint32_t>;

// A number as a key: its bits, with -0 taken as 0 so that equal numbers make one key.
std::uint64_t keyBits(double value) {
    if (value == 0) value = 0;
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

std::uint64_t mix(std::uint64_t hash, std::uint64_t value) {
    hash ^= value + 0x9E3779B97F4A7C15ull + (hash << 6) + (hash >> 2);
    return hash * 0xFF51AFD7ED558CCDull;
}

// What makes two rows one visit: the same texts, coordinates, dates and hour (a missing hour being
// the same missing hour).
class VisitKey {
public:
    explicit VisitKey(const RunState& state)
        : state_(state), nulls_(state.NumericNulls.rows() > 0), texts_(state.StringValues.columns()),
          dates_(state.DateValues.columns()) {}

    std::uint64_t hash(std::size_t r) const {
        std::uint64_t h = mix(keyBits(state_.Longitudes[r]), keyBits(state_.Latitudes[r]));
        for (std::size_t j = 1; j < texts_; ++j) h = mix(h, state_.StringValues.id(r, j));
        for (std::size_t j = 1; j < dates_; ++j) h = mix(h, keyBits(state_.DateValues(r, j)));
        h = mix(h, keyBits(state_.NumericValues(r, 1)));
        if (nulls_) h = mix(h, state_.NumericNulls(r, 1));
        return h ^ (h >> 29);
    }
    bool same(std::size_t a, std::size_t b) const {
        if (keyBits(state_.Longitudes[a]) != keyBits(state_.Longitudes[b]) ||
            keyBits(state_.Latitudes[a]) != keyBits(state_.Latitudes[b]) ||
            keyBits(state_.NumericValues(a, 1)) != keyBits(state_.NumericValues(b, 1)) ||
            (nulls_ && state_.NumericNulls(a, 1) != state_.NumericNulls(b, 1)))
            return false;
        for (std::size_t j = 1; j < texts_; ++j)
            if (state_.StringValues.id(a, j) != state_.StringValues.id(b, j)) return false;
        for (std::size_t j = 1; j < dates_; ++j)
            if (keyBits(state_.DateValues(a, j)) != keyBits(state_.DateValues(b, j))) return false;
        return true;
    }

private:
    const RunState& state_;
    const bool nulls_;
    const std::size_t texts_, dates_;
};

// The first row of each row's visit, through an open-addressing table of rows.
Rows visitsOf(const RunState& state, std::size_t n) {
    const VisitKey key(state);
    std::size_t size = 64;
    while (size < 2 * n) size *= 2;
    Rows table(size, 0);  // 0: free
    Rows visit(n + 1, 0);
    for (std::size_t r = 1; r <= n; ++r) {
        std::size_t at = key.hash(r) & (size - 1);
        while (table[at] != 0 && !key.same(table[at], r)) at = (at + 1) & (size - 1);
        if (table[at] == 0) table[at] = static_cast<std::uint32_t>(r);
        visit[r] = table[at];
    }
    return visit;
}

// The point of each row within its visit (0 the first): how many rows of the same visit and
// parameter come before it. The rows are taken parameter by parameter, each in row order.
Rows placesInVisits(const std::vector<std::int32_t>& columns, const Rows& visit, std::size_t n,
                    std::size_t columnCount) {
    Rows start(columnCount + 2, 0);
    for (std::size_t r = 1; r <= n; ++r) ++start[static_cast<std::size_t>(columns[r]) + 1];
    for (std::size_t k = 1; k < start.size(); ++k) start[k] += start[k - 1];
    Rows byColumn(n);
    for (std::size_t r = 1; r <= n; ++r)
        byColumn[start[static_cast<std::size_t>(columns[r])]++] = static_cast<std::uint32_t>(r);
    Rows place(n + 1, 0), seenColumn(n + 1, 0), seen(n + 1, 0);
    for (std::uint32_t r : byColumn) {
        const auto column = static_cast<std::uint32_t>(columns[r]);
        if (column == 0) continue;  // no parameter: the visit's first point
        const std::uint32_t v = visit[r];
        if (seenColumn[v] != column) {
            seenColumn[v] = column;
            seen[v] = 0;
        }
        place[r] = seen[v]++;
    }
    return place;
}

// The columns of each parameter, under its first column: a name may own more than one.
std::vector<std::vector<std::size_t>> columnsOfParameters(const RunState& state) {
    const auto count = static_cast<std::size_t>(state.NumericAttributeCount);
    std::vector<std::vector<std::size_t>> columns(count + 1);
    std::unordered_map<std::string, std::size_t> first;
    for (std::size_t k = 2; k <= count; ++k)
        columns[first.try_emplace(state.NumericAttributes[k], k).first->second].push_back(k);
    return columns;
}

// Row `to` takes everything row `from` holds.
void moveRow(RunState& state, std::size_t from, std::size_t to, bool nulls) {
    if (from == to) return;
    state.Longitudes[to] = state.Longitudes[from];
    state.Latitudes[to] = state.Latitudes[from];
    state.NumericValues.copyRow(from, to);
    if (nulls) state.NumericNulls.copyRow(from, to);
    state.StringValues.copyRow(from, to);
    state.DateValues.copyRow(from, to);
}

void permuteTable(RunState& state, const Rows& order) {
    permuteRows(state.Longitudes.data(), 1, order);
    permuteRows(state.Latitudes.data(), 1, order);
    state.NumericValues.permuteRows(order);
    if (state.NumericNulls.rows() > 0) state.NumericNulls.permuteRows(order);
    state.StringValues.permuteRows(order);
    state.DateValues.permuteRows(order);
    permuteRows(state.ValueColumns.data(), 1, order);
}

}  // namespace

std::string repeatedParameterMessage(std::size_t visits, std::size_t furtherPoints) {
    const bool one = furtherPoints == 1;
    return std::to_string(visits) + (visits == 1 ? " visit" : " visits") +
           " measured a parameter more than once: " + std::to_string(furtherPoints) +
           (one ? " further point" : " further points") + " at the same station, date and hour " +
           (one ? "holds the repeated value" : "hold the repeated values");
}

void mergeVisits(RunState& state, UserInterface& ui) {
    const std::size_t n = state.TotalRecords;
    if (state.ValueColumns.size() != n + 1)
        throw std::logic_error("the visits layout needs the column of each row's value");
    const bool nulls = state.NumericNulls.rows() > 0;
    const auto columnCount = static_cast<std::size_t>(state.NumericAttributeCount);

    // Each row's point: its visit's first point (visits in the order of their first rows, a
    // visit's points together) plus its place within the visit.
    Rows target;
    std::size_t points = 0, visits = 0, repeating = 0;
    {
        const Rows visit = visitsOf(state, n);
        target = placesInVisits(state.ValueColumns, visit, n, columnCount);
        Rows first(n + 1, 0);  // of a visit's first row: its number of points, then its first point
        for (std::size_t r = 1; r <= n; ++r)
            first[visit[r]] = std::max(first[visit[r]], target[r] + 1);
        for (std::size_t r = 1; r <= n; ++r) {
            if (visit[r] != r) continue;
            ++visits;
            if (first[r] > 1) ++repeating;
            const std::uint32_t count = first[r];
            first[r] = static_cast<std::uint32_t>(points + 1);
            points += count;
        }
        for (std::size_t r = 1; r <= n; ++r) target[r] += first[visit[r]];
    }

    // The rows in the order of their points, each point's rows in row order; then `target`
    // holds the point of each place, which never decreases along the places.
    Rows order(n + 1, 0);
    {
        Rows next(points + 1, 0);  // the first place of each point, then the place after its last
        for (std::size_t r = 1; r <= n; ++r) ++next[target[r]];
        for (std::size_t p = 1, at = 1; p <= points; ++p) {
            const std::uint32_t count = next[p];
            next[p] = static_cast<std::uint32_t>(at);
            at += count;
        }
        for (std::size_t r = 1; r <= n; ++r) order[next[target[r]]++] = static_cast<std::uint32_t>(r);
        for (std::size_t p = 1, i = 1; p <= points; ++p)
            while (i < next[p]) target[i++] = static_cast<std::uint32_t>(p);
    }
    permuteTable(state, order);
    order = Rows();

    const std::vector<std::vector<std::size_t>> columnsOf = columnsOfParameters(state);
    for (std::size_t i = 1; i <= n; ++i) {
        const std::size_t p = target[i];
        if (i == 1 || target[i - 1] != p) {
            moveRow(state, i, p, nulls);
            continue;
        }
        const auto column = static_cast<std::size_t>(state.ValueColumns[i]);
        if (column == 0) continue;
        for (std::size_t k : columnsOf[column]) {
            state.NumericValues(p, k) = state.NumericValues(i, k);
            if (nulls) state.NumericNulls(p, k) = 0;
        }
    }
    fitSampleRows(state, points + 1, nulls);
    state.ValueColumns.clear();
    state.TotalRecords = points;
    if (points > visits) ui.showWarning(repeatedParameterMessage(repeating, points - visits));
}

}  // namespace pontrel
