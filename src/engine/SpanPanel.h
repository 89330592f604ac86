#pragma once
// A status panel of the user interface showing a prefix and a time span ("Time elapsed: "), and
// the progress of a writer of the output following each row with the bar and the elapsed and
// remaining time. Both hold a reference to the user interface, which outlives them.

#include <climits>
#include <cmath>
#include <cstddef>
#include <string>

#include "engine/UserInterface.h"

namespace pontrel {

// A status panel showing a prefix and a time span. The text is rebuilt and pushed only when it can
// have changed, so that following every row costs less than the row: a span's text shows whole
// seconds (rounded or cut), so it cannot change while the span stays within one half second.
class SpanPanel {
public:
    SpanPanel(UserInterface& ui, int panel, std::string prefix)
        : ui_(ui), panel_(panel), prefix_(std::move(prefix)) {}

    void show(data::Date span) {
        const double halfSeconds = std::floor(span * 86400.0 * 2.0);
        const long long key = std::isfinite(halfSeconds) && std::fabs(halfSeconds) < 1e18
                                  ? static_cast<long long>(halfSeconds)
                                  : LLONG_MAX;
        if (shown_ && key == key_ && key != LLONG_MAX) return;
        shown_ = true;
        key_ = key;
        ui_.setStatusText(panel_, prefix_ + ui_.dateValueText(span));
    }

private:
    UserInterface& ui_;
    int panel_;
    std::string prefix_;
    bool shown_ = false;
    long long key_ = 0;
};

// The progress bar from row 1 to the last, and the elapsed and remaining time, as rows are written.
class RowProgress {
public:
    RowProgress(UserInterface& ui, std::size_t total)
        : ui_(ui), total_(static_cast<double>(total)), elapsed_(ui, 3, "Time elapsed: "),
          remaining_(ui, 4, "Time remaining: ") {
        ui.setProgressMaximum(total_);
        ui.setProgressMinimum(1);
        start_ = ui.now();
    }
    // Row `row` (from 1) has been written.
    void written(std::size_t row) {
        ui_.setProgressValue(static_cast<double>(row));
        const data::Date elapsed = ui_.now() - start_;
        elapsed_.show(elapsed);
        remaining_.show(elapsed / static_cast<double>(row) * total_ - elapsed);
    }

private:
    UserInterface& ui_;
    double total_;
    data::Date start_ = 0;
    SpanPanel elapsed_, remaining_;
};

}  // namespace pontrel
