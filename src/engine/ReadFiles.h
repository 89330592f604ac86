#pragma once
// Sample extraction: from the selections in the run state to the filled attribute table. Opens
// its own connection, runs the mode's select and count queries, lays out the attribute columns and
// reads every selected row once. Hours and values are rounded to 2 decimals, or kept as stored
// when the settings say exact; missing hours and texts get the placeholders -1 and "Unknown",
// which the user is told of, or stay empty when the settings ask for nulls. A row that cannot
// become a point (no coordinates, no value, no date) stops the conversion with ConversionStopped
// after its message. The rows are read in one pass (OnePassReading.cpp), or walked as the
// database sorts them when one pass cannot be sure to give the same (SortedWalk.cpp). With the
// visits layout, Day mode's rows are then folded into one point per visit (VisitLayout.cpp).

#include <cstddef>
#include <string>

#include "common/DayCount.h"
#include "engine/RunState.h"
#include "engine/UserInterface.h"

namespace pontrel {

void ReadSamples(RunState& state, UserInterface& ui);

// Lays out the attribute lists for the mode from SampleRecords (on its first row). In Day mode it
// reads the rows to their end and returns how many it read (0 in Parameter mode).
std::size_t DefineAttributes(RunState& state, UserInterface& ui);

// The date as MM-dd-yyyy, whatever the regional settings; the time of day is dropped.
std::string SqlDateText(data::Date date);

}  // namespace pontrel
