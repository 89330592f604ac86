#pragma once
// A status panel of the user interface showing a prefix and a time span ("Time elapsed: "), as the
// writers of the output follow each row. Holds a reference to the user interface, which outlives
// it.

#include <climits>
#include <cmath>
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

}  // namespace pontrel
