#pragma once
// The two ways ReadSamples reads the selected rows into the run state, and what they share: the
// messages about a row that lacks something, the stop after such a message, and the growth of the
// sample arrays. readOnce reads the rows in one pass and is the usual way; walkSortedRows walks
// the rows as the database sorts them, for when one pass cannot be sure to give the same. Both
// fill the arrays of the run state they are given; the run state owns the recordsets they open.

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "engine/RunState.h"
#include "engine/UserInterface.h"

namespace pontrel {

// What the user is told of a row that lacks something; both ways of reading the rows say the same.
std::string noSamplesMessage(const RunState& state);
// The stations whose rows lack the chosen coordinates, as far as the reading saw them: the first
// few names, how many there are, and whether their rows all have the other coordinate type.
struct MissingCoordinates {
    std::vector<std::string> firstNames;
    std::set<std::string> names;
    bool otherType = true;
    // Notes a row of the station `name` (the empty text for none).
    void add(const std::string& name, bool hasOtherType);
};
// The first line is the one the user has always been shown; the next say which stations, and
// whether the other coordinate type would do.
std::string noCoordinatesMessage(bool military, const MissingCoordinates& missing);
inline constexpr const char* kNoHourMessage =
    "Some samples haven't an hour defined. Time of these samples will be considered = -1";
inline constexpr const char* kNoValueMessage =
    "Some samples haven't a value defined. Correct this fault directly on Database";
inline constexpr const char* kNoDateMessage =
    "Some samples haven't a date defined. Correct this fault directly on Database";
inline std::string nullTextMessage(const std::string& attribute) {
    return "String Attribute " + attribute +
           " has some null fields. These samples will be considered = 'unknown'";
}

// Shows the message and stops the conversion with it.
[[noreturn]] void stopWith(UserInterface& ui, const std::string& message);
// Shows noSamplesMessage and stops the conversion with NothingSelected.
[[noreturn]] void stopForNoSamples(UserInterface& ui, const RunState& state);

// Gives the sample arrays room for `count` rows (row 0 unused), keeping the rows already read.
void fitSampleRows(RunState& state, std::size_t count, bool nulls);

// Reads the selection in one pass (see OnePassReading.cpp). `unsorted` is Parameter mode's
// selection without its ORDER BY. Returns false, having shown nothing, when one pass is unsure.
bool readOnce(RunState& state, UserInterface& ui, data::Connection& db, const std::string& unsorted);

// Walks the selection as sorted by the database, row by row after the layout.
void walkSortedRows(RunState& state, UserInterface& ui, data::Connection& db);

}  // namespace pontrel
