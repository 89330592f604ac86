#include "app/convert/CommandLine.h"

#include <cctype>

#include "engine/FileNames.h"
#include "common/TextBasics.h"
#include "shapefile/CoordinateSystem.h"

namespace pontrel::convert {

namespace {

// YYYY-MM-DD, or YYYY-MM-DDTHH:MM, or YYYY-MM-DDTHH:MM:SS; nothing looser.
bool hasDayShape(const std::string& text) {
    auto digitsAt = [&](std::size_t from, std::size_t count) {
        for (std::size_t i = from; i < from + count; ++i)
            if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        return true;
    };
    if (text.size() != 10 && text.size() != 16 && text.size() != 19) return false;
    if (!digitsAt(0, 4) || text[4] != '-' || !digitsAt(5, 2) || text[7] != '-' || !digitsAt(8, 2))
        return false;
    if (text.size() == 10) return true;
    if (text[10] != 'T' || !digitsAt(11, 2) || text[13] != ':' || !digitsAt(14, 2)) return false;
    return text.size() == 16 || (text[16] == ':' && digitsAt(17, 2));
}

}  // namespace

std::string usageText() {
    return "Usage:\n"
           "  pontrel-convert DATABASE (--parameter NAME | --day DATE) --folder DIR [--name NAME] "
           "[--coordinates military|normal]\n"
           "                  [--crs CODE] [--values rounded|exact] [--missing placeholders|null]\n"
           "                  [--settings FILE]\n"
           "  pontrel-convert DATABASE --list-parameters\n"
           "  pontrel-convert DATABASE --list-days\n"
           "  pontrel-convert DATABASE --inspect\n"
           "  pontrel-convert -h|--help | -V|--version\n";
}

std::string helpText() {
    return "pontrel-convert converts the water-quality samples of a Vessamo database (Access .mdb or\n"
           "SQLite) into an ESRI point shapefile.\n\n" +
           usageText() +
           "\n"
           "  --parameter NAME      one parameter, every sample date\n"
           "  --day DATE            one day, every parameter; DATE is YYYY-MM-DD, optionally\n"
           "                        with a time: YYYY-MM-DDTHH:MM[:SS]\n"
           "  --folder DIR          the folder the shapefile is written to\n"
           "  --name NAME           the shapefile's name without .shp (default: the parameter, with\n"
           "                        / \\ : * ? \" < > | as -, or the day as YYYY-MM-DD)\n"
           "  --coordinates TYPE    military (default) or normal\n"
           "  --crs CODE            the coordinate system of the coordinates, written to a .prj:\n"
           "                        any code PROJ knows (EPSG:20790, ESRI:102164), a WKT or a\n"
           "                        PROJ string (default: MilitaryCRS or NormalCRS of the\n"
           "                        settings; without one, no .prj)\n"
           "  --values STYLE        rounded (default): hours and values to 2 decimals;\n"
           "                        exact: as the database holds them\n"
           "  --missing STYLE       placeholders (default): -1 for a missing hour, 0 for a\n"
           "                        parameter not measured, Unknown for a missing text;\n"
           "                        null: blank fields, which GIS programs read as null\n"
           "  --settings FILE       read the settings from FILE instead of\n"
           "                        $XDG_CONFIG_HOME/vessamo-pontrel/settings.ini\n"
           "  --list-parameters     print the parameters of the table Params\n"
           "  --list-days           print the sample days of the table Samples\n"
           "  --inspect             print the tables (with row counts) and saved queries (with SQL)\n"
           "  --timings             with a conversion: print the seconds each phase took on\n"
           "                        standard error (timing<TAB>phase<TAB>seconds), for benchmarks\n"
           "  -h, --help            print this help\n"
           "  -V, --version         print the version\n"
           "  --                    ends the options: what follows is the database, even a name\n"
           "                        that begins with -\n"
           "\n"
           "Options may come in any order, before or after the database.\n"
           "\n"
           "Exit status: 0 success, 1 the data stopped the conversion, 2 wrong usage or\n"
           "settings, 3 a database or file error.\n";
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine command;
    // Help and version win over everything else among the options; after "--" they are names.
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (arg == "--help" || arg == "-h") return command;
        if (arg == "--version" || arg == "-V") {
            command.action = CommandLine::Action::Version;
            return command;
        }
    }

    bool folderGiven = false, coordinatesGiven = false, databaseGiven = false;
    bool optionsEnded = false;
    int actions = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg == "--" && !optionsEnded) {
            optionsEnded = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (!optionsEnded && arg.rfind("--", 0) == 0) {
            std::size_t equals = arg.find('=');
            if (equals != std::string::npos) {
                inlineValue = arg.substr(equals + 1);
                arg.resize(equals);
            }
        }
        auto value = [&]() -> std::string {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
            return args[++i];
        };
        auto once = [&](bool given) {
            if (given) throw UsageError(arg + " is given more than once");
        };
        auto flag = [&](CommandLine::Action action) {
            if (inlineValue) throw UsageError(arg + " takes no value");
            if (command.action == action && actions > 0) throw UsageError(arg + " is given more than once");
            command.action = action;
            ++actions;
        };

        auto database = [&] {
            if (databaseGiven)
                throw UsageError("Only one database can be given: '" + arg + "' is one too many");
            if (arg.empty()) throw UsageError("The database file name is empty");
            databaseGiven = true;
            command.database = arg;
        };

        if (optionsEnded) {
            database();  // even a name that begins with '-'
        } else if (arg == "--parameter") {
            once(command.parameter.has_value());
            command.parameter = value();
            command.action = CommandLine::Action::Convert;
            ++actions;
        } else if (arg == "--day") {
            once(command.day.has_value() || !command.dayText.empty());
            command.dayText = value();
            std::optional<data::Date> day;
            if (hasDayShape(command.dayText)) day = data::parseIsoDate(command.dayText);
            if (!day)
                throw UsageError("The day '" + command.dayText +
                                 "' is not a date of the form YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS]");
            command.day = day;
            command.action = CommandLine::Action::Convert;
            ++actions;
        } else if (arg == "--folder") {
            once(folderGiven);
            folderGiven = true;
            command.folder = value();
        } else if (arg == "--name") {
            once(command.name.has_value());
            command.name = value();
        } else if (arg == "--coordinates") {
            once(coordinatesGiven);
            coordinatesGiven = true;
            std::string type = value();
            if (type != "military" && type != "normal")
                throw UsageError("--coordinates takes military or normal, not '" + type + "'");
            command.military = type == "military";
        } else if (arg == "--crs") {
            once(command.crs.has_value());
            const std::string definition = value();
            try {
                command.crs = coordinateSystemOf(definition);
            } catch (const shapefile::CoordinateSystemError& e) {
                throw UsageError("--crs '" + data::quotedForMessage(definition) +
                                 "' is not a coordinate system PROJ can use: " + e.what());
            }
        } else if (arg == "--values") {
            once(command.values.has_value());
            const std::string word = value();
            command.values = valueStyleNamed(word);
            if (!command.values) throw UsageError("--values takes rounded or exact, not '" + word + "'");
        } else if (arg == "--missing") {
            once(command.missing.has_value());
            const std::string word = value();
            command.missing = missingStyleNamed(word);
            if (!command.missing)
                throw UsageError("--missing takes placeholders or null, not '" + word + "'");
        } else if (arg == "--settings") {
            once(command.settingsFile.has_value());
            command.settingsFile = value();
            if (command.settingsFile->empty()) throw UsageError("--settings needs a file");
        } else if (arg == "--timings") {
            command.timings = true;
        } else if (arg == "--list-parameters") {
            flag(CommandLine::Action::ListParameters);
        } else if (arg == "--list-days") {
            flag(CommandLine::Action::ListDays);
        } else if (arg == "--inspect") {
            flag(CommandLine::Action::Inspect);
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("Unknown option '" + arg + "'");
        } else {
            database();
        }
    }

    if (actions == 0)
        throw UsageError("Say what to do: --parameter, --day, --list-parameters, --list-days or --inspect");
    if (actions > 1)
        throw UsageError("Only one of --parameter, --day, --list-parameters, --list-days and "
                         "--inspect can be given");
    if (!databaseGiven) throw UsageError("No database file was given");
    if (command.action != CommandLine::Action::Convert) {
        const char* stray = folderGiven ? "--folder"
                            : command.name ? "--name"
                            : coordinatesGiven ? "--coordinates"
                            : command.crs ? "--crs"
                            : command.values ? "--values"
                            : command.missing ? "--missing"
                            : command.settingsFile ? "--settings"
                                               : nullptr;
        if (stray) throw UsageError(std::string(stray) + " only goes with --parameter or --day");
    }
    return command;
}

OutputSettings settingsFor(const CommandLine& command) {
    OutputSettings settings =
        command.settingsFile ? readSettings(*command.settingsFile, true) : readUserSettings();
    if (command.crs) (command.military ? settings.militaryCrs : settings.normalCrs) = *command.crs;
    if (command.values) settings.values = *command.values;
    if (command.missing) settings.missing = *command.missing;
    return settings;
}

std::string defaultShapeFileName(const CommandLine& command) {
    if (command.parameter) return fileNameSafe(*command.parameter);
    if (command.day) return command.dayText.substr(0, 10);
    return {};
}

}  // namespace pontrel::convert
