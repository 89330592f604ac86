#pragma once
// Whether the coordinates read can lie in the coordinate system the user declared for them,
// checked before any file is written: a .prj that declares metres to be degrees makes every GIS
// program drop or misplace the points, so such a run is refused, with a hint of what was meant.
// Points merely far from where the system is used are written, with a warning.

#include "engine/RunState.h"
#include "engine/UserInterface.h"

namespace pontrel {

// Checks the points of rows 1 to TotalRecords against the system of the run's coordinate type;
// nothing without one. Throws UnsuitableCoordinateSystem when no point can lie in it, and
// ConversionError when PROJ cannot tell.
void checkCoordinateSystem(const RunState& state, UserInterface& ui);

}  // namespace pontrel
