#pragma once
// The arguments of pontrel-convert, checked and sorted into what to do. Wrong usage is a
// UsageError whose message says what is wrong; the caller adds where help is found.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/DayCount.h"
#include "engine/OutputSettings.h"

namespace pontrel::convert {

class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

struct CommandLine {
    enum class Action { Help, Version, Convert, ListParameters, ListDays, Inspect };
    Action action = Action::Help;
    std::string database;
    std::optional<std::string> parameter;  // Parameter mode
    std::optional<data::Date> day;         // Day mode
    std::string dayText;                   // as given
    std::string folder;                    // empty when not given
    std::optional<std::string> name;
    bool military = true;
    bool timings = false;                  // report the time of each phase (benchmarks)
    bool quiet = false;                    // no warnings and no progress line
    // Overrides of the settings for this run.
    std::optional<CoordinateSystem> crs;   // for the chosen coordinate type
    std::optional<ValueStyle> values;
    std::optional<MissingStyle> missing;
    std::optional<LayoutStyle> layout;
    std::optional<OutputFormat> format;
    std::optional<std::string> settingsFile;  // instead of the user's settings.ini
};

CommandLine parseCommandLine(const std::vector<std::string>& args);

// The synopsis; the help adds what each option means. Wrong usage prints its one-line message
// and kTryHelp instead.
std::string usageText();
std::string helpText();
inline constexpr const char* kTryHelp = "Try 'pontrel-convert --help' for more information.";

// The settings of a conversion: the settings file (--settings, which must exist, or the user's
// settings.ini, which need not), then the options. Throws SettingsError.
OutputSettings settingsFor(const CommandLine& command);

// The output name used when --name is not given: the parameter, or the day as YYYY-MM-DD.
std::string defaultShapeFileName(const CommandLine& command);

}  // namespace pontrel::convert
