#include "engine/ConversionDriver.h"

#include <cctype>
#include <new>
#include <system_error>

#include "engine/CoordinateCheck.h"
#include "engine/Errors.h"
#include "engine/ReadFiles.h"

namespace pontrel {

namespace {

// Whether the name ends in `extension` (any case) after something else: a name that is nothing
// but the extension is a name as typed.
bool endsIn(const std::string& name, const std::string& extension) {
    if (name.size() <= extension.size()) return false;
    std::string tail = name.substr(name.size() - extension.size());
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == extension;
}

}  // namespace

bool Shape_CheckOptions(const OutputOptions& options, UserInterface& ui) {
    bool optionsInvalid = false;
    if (options.folder.empty()) {
        ui.showMessage("Please select a folder for shape file");
        optionsInvalid = true;
    }
    if (options.name.empty()) {
        ui.showMessage("Please type a name for shape file");
        optionsInvalid = true;
    }
    return optionsInvalid;
}

bool runConversion(RunState& state, UserInterface& ui, const OutputOptions& options,
                   const SettingsReader& settings) {
    if (Shape_CheckOptions(options, ui)) return false;
    OutputSettings chosen;
    if (settings) {
        try {
            chosen = settings();
        } catch (const SettingsError& e) {
            ui.showMessage(e.what());
            return false;
        }
    }
    // A typed ".shp" or ".gpkg" says which is written; the writer adds it itself.
    state.ShapeFileName = options.name;
    for (OutputFormat format : {OutputFormat::Shapefile, OutputFormat::GeoPackage}) {
        const std::string extension = extensionOf(format);
        if (!endsIn(options.name, extension)) continue;
        chosen.format = format;
        state.ShapeFileName = options.name.substr(0, options.name.size() - extension.size());
    }
    // A GeoPackage holds what the database holds: rounding and placeholders are shapefile habits.
    if (chosen.format == OutputFormat::GeoPackage) {
        chosen.values = ValueStyle::Exact;
        chosen.missing = MissingStyle::Null;
    }
    state.Settings = std::move(chosen);
    state.ShapeFolder = options.folder;
    if (options.military)
        state.CoordinatesType = kMilitary;
    else if (options.normal)
        state.CoordinatesType = kNormal;

    const bool gpkg = state.Settings.format == OutputFormat::GeoPackage;
    try {
        // While reading the total is not known: the bar shows that work goes on, by rows read.
        ui.setStatusText(1, "Reading samples...");
        ui.setProgressMinimum(0);
        ui.setProgressMaximum(0);
        ReadSamples(state, ui);
        checkCoordinateSystem(state, ui);
        ui.setStatusText(1, gpkg ? "Creating GeoPackage..." : "Creating shape file...");
        WriteShapeFile(state, ui);
    } catch (const std::bad_alloc&) {
        // What was built so far is released by now, so the message can be made.
        throw ConversionError("There is not enough memory to convert the samples of '" +
                              state.DataSourceFile + "'");
    } catch (const std::system_error& e) {
        // A thread of the writing that the system cannot start for want of memory for its stack.
        if (e.code() != std::errc::resource_unavailable_try_again && e.code() != std::errc::not_enough_memory)
            throw;
        throw ConversionError("There is not enough memory to convert the samples of '" +
                              state.DataSourceFile + "'");
    }
    ui.setStatusText(1, gpkg ? "GeoPackage Created." : "Shape file Created.");
    ui.showMessage(state.ShapeType + (gpkg ? " GeoPackage '" : " Shape File '") + state.ShapeFileName +
                   extensionOf(state.Settings.format) + "' was created with success");
    if (state.DBConnection) state.DBConnection->close();
    state.DBConnection.reset();
    ui.endProgram();
    return true;
}

}  // namespace pontrel
