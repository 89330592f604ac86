#pragma once
// What the converter prints about a database without converting: the parameters and the days
// that the wizard's second step offers, and the tables and saved queries of the file. Each
// writes one item per line to `out`; database failures arrive as data::DatabaseError.

#include <cstdio>
#include <string>

#include "engine/RunState.h"

namespace pontrel::convert {

// Each ParameterName of Params, in the order and with the repetitions of the wizard's list.
void listParameters(RunState& state, std::FILE* out);
// Each distinct SampleDate of Samples in date order, as YYYY-MM-DD (THH:MM:SS when not midnight).
void listDays(RunState& state, std::FILE* out);
// "table", name, row count or "query", name, SQL on one line; tab-separated.
void inspectDatabase(RunState& state, std::FILE* out);

}  // namespace pontrel::convert
