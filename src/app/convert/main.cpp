// pontrel-convert: the conversion engine without a window, for batch work and scripts.

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "Version.h"
#include "app/convert/CommandLine.h"
#include "app/convert/ConsoleInterface.h"
#include "app/convert/Listings.h"
#include "common/TemporaryFiles.h"
#include "source/Connection.h"
#include "sqlite/DatabaseError.h"
#include "engine/ConversionDriver.h"
#include "engine/Errors.h"
#include "shapefile/ShapeFiles.h"

namespace {

constexpr int kSuccess = 0;
constexpr int kStoppedByData = 1;
constexpr int kWrongUsage = 2;
constexpr int kDatabaseOrFileError = 3;

int run(const pontrel::convert::CommandLine& command, const pontrel::OutputSettings& settings,
        pontrel::convert::ConsoleInterface& ui) {
    using pontrel::convert::CommandLine;
    pontrel::RunState state;
    state.DataSourceFile = command.database;
    switch (command.action) {
        case CommandLine::Action::ListParameters: pontrel::convert::listParameters(state, stdout); break;
        case CommandLine::Action::ListDays: pontrel::convert::listDays(state, stdout); break;
        case CommandLine::Action::Inspect: pontrel::convert::inspectDatabase(state, stdout); break;
        default: {
            if (command.parameter) {
                state.ShapeType = pontrel::kParameterMode;
                state.SelectedParameter = *command.parameter;
            } else {
                state.ShapeType = pontrel::kDayMode;
                state.SelectedDay = *command.day;
            }
            pontrel::OutputOptions options;
            options.folder = command.folder;
            options.name = command.name.value_or(pontrel::convert::defaultShapeFileName(command));
            options.military = command.military;
            options.normal = !command.military;
            // A folder that cannot take the shapefile is told before the database is read, with
            // the writer's own message; an empty folder or name is the driver's to tell.
            if (!options.folder.empty() && !options.name.empty())
                pontrel::shapefile::checkOutputFolder(options.folder);
            if (!pontrel::runConversion(state, ui, options, [&settings] { return settings; })) {
                std::fprintf(stderr, "%s\n", pontrel::convert::kTryHelp);
                return kWrongUsage;
            }
            if (command.timings) {
                double load = pontrel::data::Connection::loadSeconds();
                std::fprintf(stderr, "timing\tload\t%.4f\ntiming\textract\t%.4f\ntiming\tcompose\t%.4f\n",
                             load, ui.extractionSeconds() - load, ui.compositionSeconds());
            }
        }
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        ui.printError("The output could not be written");
        return kDatabaseOrFileError;
    }
    return kSuccess;
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit must show as a write error that is reported and cleaned up after, not
    // end the program in the middle of a file.
    std::signal(SIGXFSZ, SIG_IGN);
    // An interrupted run removes its temporary files and its helper before it ends.
    pontrel::cleanup::installInterruptionHandlers();

    using pontrel::convert::CommandLine;
    CommandLine command;
    try {
        command = pontrel::convert::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const pontrel::convert::UsageError& e) {
        std::fprintf(stderr, "%s%s\n%s\n", pontrel::convert::kMessagePrefix, e.what(), pontrel::convert::kTryHelp);
        return kWrongUsage;
    }
    if (command.action == CommandLine::Action::Help) {
        std::fputs(pontrel::convert::helpText().c_str(), stdout);
        return kSuccess;
    }
    if (command.action == CommandLine::Action::Version) {
        std::printf("pontrel-convert (%s) %s\n", pontrel::kProgramTitle, pontrel::kVersionText);
        return kSuccess;
    }

    // The settings are read, and refused when they cannot be used, before the database is.
    pontrel::OutputSettings settings;
    if (command.action == CommandLine::Action::Convert) {
        try {
            settings = pontrel::convert::settingsFor(command);
        } catch (const pontrel::SettingsError& e) {
            std::fprintf(stderr, "%s%s\n", pontrel::convert::kMessagePrefix, e.what());
            return kWrongUsage;
        }
    }

    pontrel::convert::ConsoleInterface ui(stdout, stderr, ::isatty(STDERR_FILENO) == 1, command.quiet);
    try {
        return run(command, settings, ui);
    } catch (const pontrel::ConversionStopped&) {
        ui.endProgressLine();  // its message is already shown
        return kStoppedByData;
    } catch (const pontrel::UnsuitableCoordinateSystem& e) {
        ui.printError(e.what());
        return kWrongUsage;
    } catch (const std::bad_alloc&) {
        ui.printError("There is not enough memory to read '" + command.database + "'");
        return kDatabaseOrFileError;
    } catch (const std::exception& e) {
        // data::DatabaseError, pontrel::ConversionError, and whatever else stops the run.
        ui.printError(e.what());
        return kDatabaseOrFileError;
    }
}
