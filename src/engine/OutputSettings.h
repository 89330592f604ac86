#pragma once
// How the output is written, chosen once by the user for every run: the coordinate system of
// each coordinate type, values rounded to 2 decimals or kept exact, placeholders or nulls for
// missing data, in Day mode one point per value or one per visit, and a shapefile or a GeoPackage. Both programs read them from settings.ini in the user's configuration folder;
// the converter's options override them for one run. The defaults are the program's behaviour
// without a settings file.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pontrel {

enum class ValueStyle { Rounded, Exact };
enum class MissingStyle { Placeholders, Null };
// Day mode's points: one per sample value (each point holds one parameter's value), or one per
// visit (a station's samples of one date and hour, each parameter in its column).
enum class LayoutStyle { Values, Visits };
// A GeoPackage always holds exact values and nulls: rounding and placeholders are for shapefiles.
enum class OutputFormat { Shapefile, GeoPackage };

// A coordinate system as the user named it and as the .prj holds it; empty: none.
struct CoordinateSystem {
    std::string definition;
    std::string esriWkt;
    bool empty() const { return esriWkt.empty(); }
};

struct OutputSettings {
    CoordinateSystem militaryCrs;
    CoordinateSystem normalCrs;
    ValueStyle values = ValueStyle::Rounded;
    MissingStyle missing = MissingStyle::Placeholders;
    LayoutStyle layout = LayoutStyle::Values;
    OutputFormat format = OutputFormat::Shapefile;

    // The system of a coordinate type ("Military" or "Normal"); none for any other.
    const CoordinateSystem& crsFor(const std::string& coordinatesType) const;
};

// A settings file that cannot be used; the message names the file, the line and what is allowed.
class SettingsError : public std::runtime_error {
public:
    explicit SettingsError(const std::string& message) : std::runtime_error(message) {}
};

// $XDG_CONFIG_HOME/vessamo-pontrel/settings.ini, or $HOME/.config/vessamo-pontrel/settings.ini
// when XDG_CONFIG_HOME is unset, empty or relative; empty when HOME is not set either.
std::string defaultSettingsPath();

// Reads a settings file. A file that does not exist gives the defaults, unless `mustExist`.
OutputSettings readSettings(const std::string& path, bool mustExist = false);
// The user's settings file at defaultSettingsPath(); the defaults when there is none.
OutputSettings readUserSettings();
// Reads the text of a settings file named `shownPath`: [Output] with MilitaryCRS, NormalCRS,
// Values, Missing, Layout and Format, each at most once; names and the words of the last four in any
// case; comments on lines of their own starting with ';' or '#', or after a value from a blank and ';'.
OutputSettings parseSettings(std::string_view text, const std::string& shownPath);

// Whether two words are the same in any case (ASCII letters).
bool sameWord(std::string_view a, std::string_view b);

// A setting chosen by one of two words: Values, Missing, Layout and Format, in the settings file
// (Values=exact) and on the converter's command line (--values exact). The first word is the
// default's. One table per setting holds its words, so that reading, writing and the messages
// that list them agree.
template <typename T>
struct WordChoice {
    const char* name;  // as the settings file spells it: "Values"
    const char* words[2];
    T choices[2];

    // The choice a word names, in any case; nothing for any other word.
    std::optional<T> named(std::string_view word) const {
        for (int i = 0; i < 2; ++i)
            if (sameWord(word, words[i])) return choices[i];
        return std::nullopt;
    }
    const char* wordOf(T choice) const { return choice == choices[1] ? words[1] : words[0]; }
    // "rounded or exact", for messages.
    std::string either() const { return std::string(words[0]) + " or " + words[1]; }
};

inline constexpr WordChoice<ValueStyle> kValuesWords{"Values", {"rounded", "exact"},
                                                     {ValueStyle::Rounded, ValueStyle::Exact}};
inline constexpr WordChoice<MissingStyle> kMissingWords{"Missing", {"placeholders", "null"},
                                                        {MissingStyle::Placeholders, MissingStyle::Null}};
inline constexpr WordChoice<LayoutStyle> kLayoutWords{"Layout", {"values", "visits"},
                                                      {LayoutStyle::Values, LayoutStyle::Visits}};
inline constexpr WordChoice<OutputFormat> kFormatWords{"Format", {"shapefile", "gpkg"},
                                                       {OutputFormat::Shapefile, OutputFormat::GeoPackage}};

// The file name extension of a format, with its dot: ".shp" or ".gpkg".
const char* extensionOf(OutputFormat format);

// The coordinate system that PROJ makes of `definition`; throws
// shapefile::CoordinateSystemError with PROJ's reason.
CoordinateSystem coordinateSystemOf(const std::string& definition);
// PROJ's name of the system `definition` names ("WGS 84" for EPSG:4326); throws as
// coordinateSystemOf does.
std::string coordinateSystemName(const std::string& definition);

}  // namespace pontrel
