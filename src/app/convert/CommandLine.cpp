#include "app/convert/CommandLine.h"

#include <getopt.h>

#include <cctype>

#include "common/TextBasics.h"
#include "engine/FileNames.h"
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
           "                  [--layout values|visits] [--format shapefile|gpkg] [--settings FILE]\n"
           "                  [--timings] [-q|--quiet]\n"
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
           "  --layout LAYOUT       Day mode's points: values (default): one point per sample\n"
           "                        value, its other parameter columns missing; visits: one\n"
           "                        point per visit (station, date and hour), each parameter\n"
           "                        in its column, a value repeated in a visit on a further\n"
           "                        point. No effect in Parameter mode, whose points are one\n"
           "                        visit's one value each\n"
           "  --format FORMAT       shapefile (default), or gpkg: a GeoPackage NAME.gpkg, with\n"
           "                        exact values and nulls whatever --values and --missing say;\n"
           "                        a --name ending in .gpkg also writes one\n"
           "  --settings FILE       read the settings from FILE instead of\n"
           "                        $XDG_CONFIG_HOME/vessamo-pontrel/settings.ini\n"
           "  --list-parameters     print the parameters of the table Params\n"
           "  --list-days           print the sample days of the table Samples\n"
           "  --inspect             print the tables (with row counts) and saved queries (with SQL)\n"
           "  --timings             with a conversion: print the seconds each phase took on\n"
           "                        standard error (timing<TAB>phase<TAB>seconds), for benchmarks\n"
           "  -q, --quiet           print no warnings and no progress line; errors are still\n"
           "                        printed\n"
           "  -h, --help            print this help\n"
           "  -V, --version         print the version\n"
           "  --                    ends the options: what follows is the database, even a name\n"
           "                        that begins with -\n"
           "\n"
           "Options may come in any order, before or after the database.\n"
           "\n"
           "Messages go to standard error as 'pontrel-convert: MESSAGE', and those after which\n"
           "the conversion goes on as 'pontrel-convert: warning: MESSAGE'; the success message\n"
           "goes to standard output as it is.\n"
           "\n"
           "Exit status: 0 success, 1 the data stopped the conversion, 2 wrong usage or\n"
           "settings, or a coordinate system that cannot hold the coordinates, 3 a database\n"
           "or file error.\n";
}

namespace {

// The long options; getopt_long reports each by its index in this table, offset so that no
// index is mistaken for a character.
enum OptionId : int {
    kParameter = 1000, kDay, kFolder, kName, kCoordinates, kCrs, kValues, kMissing, kLayout, kFormat, kSettings,
    kTimings, kListParameters, kListDays, kInspect,
    kQuiet = 'q',  // also the short option
};
constexpr option kOptions[] = {
    {"parameter", required_argument, nullptr, kParameter},
    {"day", required_argument, nullptr, kDay},
    {"folder", required_argument, nullptr, kFolder},
    {"name", required_argument, nullptr, kName},
    {"coordinates", required_argument, nullptr, kCoordinates},
    {"crs", required_argument, nullptr, kCrs},
    {"values", required_argument, nullptr, kValues},
    {"missing", required_argument, nullptr, kMissing},
    {"layout", required_argument, nullptr, kLayout},
    {"format", required_argument, nullptr, kFormat},
    {"settings", required_argument, nullptr, kSettings},
    {"timings", no_argument, nullptr, kTimings},
    {"list-parameters", no_argument, nullptr, kListParameters},
    {"list-days", no_argument, nullptr, kListDays},
    {"inspect", no_argument, nullptr, kInspect},
    {"quiet", no_argument, nullptr, kQuiet},
    {nullptr, 0, nullptr, 0},
};

// Leading '-': arguments that are not options come back in their place, as option 1, so options
// and the database may come in any order whatever POSIXLY_CORRECT says. ':': a missing value is
// told apart from an unknown option. -q is the one short option: -h and -V are taken before the
// parse.
constexpr const char* kShortOptions = "-:q";
constexpr int kNotAnOption = 1;

// The option as written, without an inline "=value".
std::string optionWritten(const char* argument) {
    const std::string text = argument;
    return text.rfind("--", 0) == 0 ? text.substr(0, text.find('=')) : text;
}

// What the command line has seen so far, besides the command itself.
struct ParseState {
    bool folderGiven = false, coordinatesGiven = false, databaseGiven = false;
    int actions = 0;
};

void takeDatabase(CommandLine& command, ParseState& seen, const std::string& name) {
    if (seen.databaseGiven)
        throw UsageError("Only one database can be given: '" + name + "' is one too many");
    if (name.empty()) throw UsageError("The database file name is empty");
    seen.databaseGiven = true;
    command.database = name;
}

// An option that takes one of a setting's two words, at most once; `written` is the option as typed.
template <typename T>
void takeWord(std::optional<T>& slot, const WordChoice<T>& setting, const std::string& written,
              const std::string& value) {
    if (slot) throw UsageError(written + " is given more than once");
    slot = setting.named(value);
    if (!slot) throw UsageError(written + " takes " + setting.either() + ", not '" + value + "'");
}

// One option and its value, as getopt_long found it; `written` is the option as typed.
void takeOption(CommandLine& command, ParseState& seen, int id, const std::string& written,
                const std::string& value) {
    auto once = [&](bool given) {
        if (given) throw UsageError(written + " is given more than once");
    };
    auto action = [&](CommandLine::Action chosen) {
        if (command.action == chosen && seen.actions > 0) throw UsageError(written + " is given more than once");
        command.action = chosen;
        ++seen.actions;
    };
    switch (id) {
        case kParameter:
            once(command.parameter.has_value());
            command.parameter = value;
            command.action = CommandLine::Action::Convert;
            ++seen.actions;
            break;
        case kDay: {
            once(command.day.has_value() || !command.dayText.empty());
            command.dayText = value;
            std::optional<data::Date> day;
            if (hasDayShape(value)) day = data::parseIsoDate(value);
            if (!day)
                throw UsageError("The day '" + value +
                                 "' is not a date of the form YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS]");
            command.day = day;
            command.action = CommandLine::Action::Convert;
            ++seen.actions;
            break;
        }
        case kFolder:
            once(seen.folderGiven);
            seen.folderGiven = true;
            command.folder = value;
            break;
        case kName:
            once(command.name.has_value());
            // The folder is --folder's: a separator in the name would send the shapefile elsewhere.
            if (value.find('/') != std::string::npos)
                throw UsageError("--name '" + value + "' holds a '/': give the folder with --folder");
            command.name = value;
            break;
        case kCoordinates:
            once(seen.coordinatesGiven);
            seen.coordinatesGiven = true;
            if (value != "military" && value != "normal")
                throw UsageError("--coordinates takes military or normal, not '" + value + "'");
            command.military = value == "military";
            break;
        case kCrs:
            once(command.crs.has_value());
            try {
                command.crs = coordinateSystemOf(value);
            } catch (const shapefile::CoordinateSystemError& e) {
                throw UsageError("--crs '" + data::quotedForMessage(value) + "' is not a coordinate system PROJ can use: " + e.what());
            }
            break;
        case kValues: takeWord(command.values, kValuesWords, written, value); break;
        case kMissing: takeWord(command.missing, kMissingWords, written, value); break;
        case kLayout: takeWord(command.layout, kLayoutWords, written, value); break;
        case kFormat: takeWord(command.format, kFormatWords, written, value); break;
        case kSettings:
            once(command.settingsFile.has_value());
            command.settingsFile = value;
            if (value.empty()) throw UsageError("--settings needs a file");
            break;
        case kTimings: command.timings = true; break;
        case kQuiet: command.quiet = true; break;
        case kListParameters: action(CommandLine::Action::ListParameters); break;
        case kListDays: action(CommandLine::Action::ListDays); break;
        case kInspect: action(CommandLine::Action::Inspect); break;
        default: break;
    }
}

// Whether the text is one of the long options in full.
bool isOption(const std::string& written) {
    for (const option& known : kOptions)
        if (known.name && written == std::string("--") + known.name) return true;
    return false;
}

// Why getopt_long refused the argument: a known option given a value it does not take, or an
// option it does not know (also an abbreviation, which is not taken for the whole name).
[[noreturn]] void refuse(const std::string& written) {
    for (const option& known : kOptions)
        if (known.name && known.has_arg == no_argument && written == std::string("--") + known.name)
            throw UsageError(written + " takes no value");
    throw UsageError("Unknown option '" + written + "'");
}

// The options and the database, in the order given; throws UsageError at the first wrong one.
void parseArguments(const std::vector<std::string>& args, CommandLine& command, ParseState& seen) {
    std::vector<std::string> texts;
    texts.reserve(args.size() + 1);
    texts.emplace_back("pontrel-convert");
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(texts.size());

    optind = 0;  // a fresh parse, also when called again
    opterr = 0;  // the messages are ours
    for (;;) {
        const int at = optind == 0 ? 1 : optind;  // the argument being read
        int index = -1;
        const int id = getopt_long(argc, argv.data(), kShortOptions, kOptions, &index);
        if (id == -1) break;
        if (id == kNotAnOption) {
            takeDatabase(command, seen, optarg);
            continue;
        }
        const std::string written = optionWritten(argv[static_cast<std::size_t>(at)]);
        if (id == kQuiet && index < 0) {  // -q, alone or among other short options
            command.quiet = true;
            continue;
        }
        const bool exact = index >= 0 && written == std::string("--") + kOptions[index].name;
        if (id == ':' && isOption(written)) throw UsageError(written + " needs a value");
        if (id == ':' || id == '?' || !exact) refuse(written);
        takeOption(command, seen, id, written, optarg ? optarg : "");
    }
    // After "--" every argument is a database, even a name that begins with '-'.
    for (int i = optind; i < argc; ++i) takeDatabase(command, seen, argv[static_cast<std::size_t>(i)]);
}

}  // namespace

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

    ParseState seen;
    parseArguments(args, command, seen);

    if (seen.actions == 0)
        throw UsageError("Say what to do: --parameter, --day, --list-parameters, --list-days or --inspect");
    if (seen.actions > 1)
        throw UsageError("Only one of --parameter, --day, --list-parameters, --list-days and "
                         "--inspect can be given");
    if (!seen.databaseGiven) throw UsageError("No database file was given");
    if (command.action != CommandLine::Action::Convert) {
        const char* stray = seen.folderGiven ? "--folder"
                            : command.name ? "--name"
                            : seen.coordinatesGiven ? "--coordinates"
                            : command.crs ? "--crs"
                            : command.values ? "--values"
                            : command.missing ? "--missing"
                            : command.layout ? "--layout"
                            : command.format ? "--format"
                            : command.settingsFile ? "--settings"
                                               : nullptr;
        if (stray) throw UsageError(std::string(stray) + " only goes with --parameter or --day");
    }
    // A name's extension says what is written; an explicit --format may not say otherwise.
    if (command.format && command.name) {
        const OutputFormat other =
            *command.format == OutputFormat::GeoPackage ? OutputFormat::Shapefile : OutputFormat::GeoPackage;
        const std::string extension = extensionOf(other);
        std::string tail = command.name->size() > extension.size()
                               ? command.name->substr(command.name->size() - extension.size())
                               : std::string();
        for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (tail == extension)
            throw UsageError("--name '" + *command.name + "' ends in " + extension + ", which --format " +
                             kFormatWords.wordOf(*command.format) +
                             " does not write");
    }
    return command;
}

OutputSettings settingsFor(const CommandLine& command) {
    OutputSettings settings =
        command.settingsFile ? readSettings(*command.settingsFile, true) : readUserSettings();
    if (command.crs) (command.military ? settings.militaryCrs : settings.normalCrs) = *command.crs;
    if (command.values) settings.values = *command.values;
    if (command.missing) settings.missing = *command.missing;
    if (command.layout) settings.layout = *command.layout;
    if (command.format) settings.format = *command.format;
    return settings;
}

std::string defaultShapeFileName(const CommandLine& command) {
    if (command.parameter) return fileNameSafe(*command.parameter);
    if (command.day) return command.dayText.substr(0, 10);
    return {};
}

}  // namespace pontrel::convert
