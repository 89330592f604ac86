#include "engine/ConversionDriver.h"

#include <cctype>
#include <new>
#include <system_error>

#include "engine/CoordinateCheck.h"
#include "engine/Errors.h"
#include "engine/ReadFiles.h"

namespace pontrel {

namespace {

// The name without a typed ".shp" (any case), which the writer adds itself; a name that is
// nothing but the extension is kept as typed.
std::string withoutShpExtension(const std::string& name) {
    if (name.size() <= 4) return name;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".shp" ? name.substr(0, name.size() - 4) : name;
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
    state.Settings = std::move(chosen);
    state.ShapeFolder = options.folder;
    state.ShapeFileName = withoutShpExtension(options.name);
    if (options.military)
        state.CoordinatesType = kMilitary;
    else if (options.normal)
        state.CoordinatesType = kNormal;

    try {
        // While reading the total is not known: the bar shows that work goes on, by rows read.
        ui.setStatusText(1, "Reading samples...");
        ui.setProgressMinimum(0);
        ui.setProgressMaximum(0);
        ReadSamples(state, ui);
        checkCoordinateSystem(state, ui);
        ui.setStatusText(1, "Creating shape file...");
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
    ui.setStatusText(1, "Shape file Created.");
    ui.showMessage(state.ShapeType + " Shape File '" + state.ShapeFileName +
                   ".shp' was created with success");
    if (state.DBConnection) state.DBConnection->close();
    state.DBConnection.reset();
    ui.endProgram();
    return true;
}

}  // namespace pontrel
