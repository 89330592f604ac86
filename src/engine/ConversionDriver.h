#pragma once
// One whole conversion, as the "Create Shape File" button and the command-line converter run it:
// check the output options, read the samples, write the shapefile, report success, close the
// connection and end the program.

#include <functional>
#include <string>

#include "engine/RunState.h"
#include "engine/UserInterface.h"

namespace pontrel {

// The step-3 choices the driver reads.
struct OutputOptions {
    std::string folder;        // ShapeFolder_TB
    std::string name;          // ShapeFileName_TB
    bool military = true;      // MilitaryCoordinates_OB
    bool normal = false;       // NormalCoordinates_OB
};

// Reads the settings when the conversion starts; may throw SettingsError.
using SettingsReader = std::function<OutputSettings()>;

// Shows "Please select a folder for shape file" and/or "Please type a name for shape file" for
// an exactly empty folder or name; returns OptionsInvalid (true when either was shown).
bool Shape_CheckOptions(const OutputOptions& options, UserInterface& ui);

// Writes the shapefile of the attribute table in the run state, with a .prj when the settings
// give a coordinate system for the coordinate type, driving the progress bar and the elapsed and
// remaining time texts.
// With Format=gpkg it writes the GeoPackage instead (WriteGeoPackage).
void WriteShapeFile(RunState& state, UserInterface& ui);

// Writes the attribute table as a GeoPackage of one point layer named after the output, with the
// coordinate system of the coordinate type inside, following the rows as WriteShapeFile does.
void WriteGeoPackage(RunState& state, UserInterface& ui);

// The conversion itself, with the settings that `settings` reads (the defaults without it).
// Returns false, having changed nothing, when the options are invalid or the settings cannot be
// used (their message shown). A name typed with ".shp" (any case) is not given a second one; one
// typed with ".gpkg" writes a GeoPackage, whatever the settings say.
// Otherwise runs to the end: on success it shows the success message, closes DBConnection,
// calls ui.endProgram() and returns true. Throws ConversionStopped (the data stopped it, the
// user was told; NothingSelected when the parameter or day has no samples), data::DatabaseError or ConversionError (not yet told); nothing is left on disk.
bool runConversion(RunState& state, UserInterface& ui, const OutputOptions& options,
                   const SettingsReader& settings = {});

}  // namespace pontrel
