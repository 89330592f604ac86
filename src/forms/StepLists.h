#pragma once
// The lists of step 2, read from the database named in the run state: the parameter names of
// Params and the distinct sample dates of Samples. Each reader opens a new connection into
// DBConnection and keeps its query and recordset in the run state.

#include <functional>
#include <string>
#include <vector>

#include "common/DayCount.h"
#include "engine/RunState.h"

namespace pontrel::forms {

inline constexpr const char* kParamsQuery = "Select * from Params ORDER BY ParameterName ";
inline constexpr const char* kSamplesQuery = "Select * from Samples ORDER BY SampleDate";

// Every ParameterName in name order, repeated names included; a null name gives no item.
std::vector<std::string> readParameterNames(RunState& state);

struct DayItem {
    std::string text;
    data::Date date = 0;
};

// Each distinct date text of the non-null SampleDate values, in date order; `textOf` writes a
// date as the user reads it.
std::vector<DayItem> readSampleDays(RunState& state,
                                    const std::function<std::string(data::Date)>& textOf);

}  // namespace pontrel::forms
