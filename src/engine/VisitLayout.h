#pragma once
// Day mode's visits layout: the rows the reading put in the run state, one per sample value, are
// folded into one point per visit (the rows with the same texts, coordinates, date and hour), each
// parameter's value in its own column and the columns the visit did not measure left as missing
// values are. The fold works in place on the run state's arrays; it owns nothing past the call.

#include <cstddef>
#include <string>

#include "engine/RunState.h"
#include "engine/UserInterface.h"

namespace pontrel {

// The warning shown when some visits measured a parameter more than once: a repeated value cannot
// share its visit's point, so it is kept on a further point of that visit.
std::string repeatedParameterMessage(std::size_t visits, std::size_t furtherPoints);

// Folds the rows of each visit into one point; a parameter measured twice in a visit puts its
// second value on a second point of that visit (its third on a third, ...), and the user is
// told once how many further points there are. The points come in the order of each visit's
// first row, a visit's points together; every value read stays in the table. Needs the
// ValueColumns the Day-mode reading records, and clears them.
void mergeVisits(RunState& state, UserInterface& ui);

}  // namespace pontrel
