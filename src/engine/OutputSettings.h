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

// The words of Values, Missing, Layout and Format (shapefile, gpkg), in any case; nothing for any
// other word.
std::optional<ValueStyle> valueStyleNamed(std::string_view word);
std::optional<MissingStyle> missingStyleNamed(std::string_view word);
std::optional<LayoutStyle> layoutStyleNamed(std::string_view word);
std::optional<OutputFormat> outputFormatNamed(std::string_view word);
// The file name extension of a format, with its dot: ".shp" or ".gpkg".
const char* extensionOf(OutputFormat format);

// The coordinate system that PROJ makes of `definition`; throws
// shapefile::CoordinateSystemError with PROJ's reason.
CoordinateSystem coordinateSystemOf(const std::string& definition);
// PROJ's name of the system `definition` names ("WGS 84" for EPSG:4326); throws as
// coordinateSystemOf does.
std::string coordinateSystemName(const std::string& definition);

}  // namespace pontrel
