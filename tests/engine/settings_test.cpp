// The settings file: a table of good and bad files with the settings or the exact message each
// gives, where the file is looked for, and the coordinate systems PROJ accepts or refuses.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "TestSupport.h"
#include "engine/OutputSettings.h"
#include "shapefile/CoordinateSystem.h"

namespace pontrel {
namespace {

using testing::TempFolder;
using testing::writeFile;

const std::string kWgs84 =
    R"(GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",SPHEROID["WGS_1984",6378137.0,298.257223563]],)"
    R"(PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]])";

// What a file gave, in one line: military, normal (the start of each WKT), values, missing, and
// "visits" when the layout is not the default, and "gpkg" when it asks for a GeoPackage.
std::string summary(const OutputSettings& s) {
    auto crs = [](const CoordinateSystem& c) {
        return c.empty() ? std::string("-") : c.definition + "=" + c.esriWkt.substr(0, c.esriWkt.find('['));
    };
    return crs(s.militaryCrs) + " " + crs(s.normalCrs) + " " +
           (s.values == ValueStyle::Exact ? "exact" : "rounded") + " " +
           (s.missing == MissingStyle::Null ? "null" : "placeholders") +
           (s.layout == LayoutStyle::Visits ? " visits" : "") +
           (s.format == OutputFormat::GeoPackage ? " gpkg" : "");
}

TEST(Settings, GoodFiles) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"", "- - rounded placeholders"},
        {"[Output]\n", "- - rounded placeholders"},
        // The example of the README, comments after values included.
        {"[Output]\nMilitaryCRS=EPSG:20790\nNormalCRS=EPSG:4326\nValues=rounded        ; or exact\n"
         "Missing=placeholders  ; or null\n",
         "EPSG:20790=PROJCS EPSG:4326=GEOGCS rounded placeholders"},
        // Blanks, CRLF, a byte-order mark, comments of both kinds, names and words in any case.
        {"\xEF\xBB\xBF; mine\r\n# also a comment\r\n  [ output ]  ; the only section\r\n"
         "  values =  EXACT \r\n\r\nMISSING=Null\r\n",
         "- - exact null"},
        // An empty system is none; a PROJ string is taken as the system it describes.
        {"[Output]\nMilitaryCRS=\nNormalCRS=+proj=longlat +datum=WGS84 ; degrees\n",
         "- +proj=longlat +datum=WGS84=GEOGCS rounded placeholders"},
        // [Output] again goes on with the same settings.
        {"[Output]\nValues=exact\n[Output]\nMissing=null", "- - exact null"},
        {"[Output]\nLayout=Visits ; one point per visit\n", "- - rounded placeholders visits"},
        {"[Output]\nlayout = values\n", "- - rounded placeholders"},
        {"[Output]\nFORMAT = GPKG ; for the analysts\n", "- - rounded placeholders gpkg"},
        {"[Output]\nformat=Shapefile\n", "- - rounded placeholders"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(summary(parseSettings(c.text, "s.ini")), c.expected);
    }
    EXPECT_EQ(parseSettings("[Output]\nNormalCRS=EPSG:4326", "s.ini").normalCrs.esriWkt, kWgs84);
}

TEST(Settings, BadFilesNameTheFileTheLineAndWhatIsAllowed) {
    struct Case {
        std::string text;
        std::string message;  // after "The settings file 's.ini', "
    };
    const std::string keys = "the settings are MilitaryCRS, NormalCRS, Values, Missing, Layout and Format";
    const std::string lineForms =
        "a line holds a section such as [Output], a setting Name=value, or a comment starting with "
        "';' or '#'";
    const Case cases[] = {
        {"[Output]\nValues=exakt\n", "line 2: Values is 'exakt': it must be rounded or exact"},
        {"[Output]\nValues=\n", "line 2: Values is '': it must be rounded or exact"},
        {"[Output]\nValues=\"exact\"\n", "line 2: Values is '\"exact\"': it must be rounded or exact"},
        {"[Output]\n\nMissing=none ; typo\n", "line 3: Missing is 'none': it must be placeholders or null"},
        {"[Output]\nLayout=visit\n", "line 2: Layout is 'visit': it must be values or visits"},
        {"[Output]\nFormat=shp\n", "line 2: Format is 'shp': it must be shapefile or gpkg"},
        {"[Output]\nValues exact\n", "line 2: 'Values exact' is not a setting: " + lineForms},
        {"[Output]\n=exact\n", "line 2: '=exact' is not a setting: " + lineForms},
        {"[Output\n", "line 1: '[Output' is not a section: a section is a name in brackets, such as [Output]"},
        {"[Colours]\nValues=exact\n", "line 1: there is no section [Colours]: the settings go under [Output]"},
        {"Values=exact\n[Output]\n", "line 1: Values comes before [Output]: the settings go under [Output]"},
        {"[Output]\nColour=blue\n", "line 2: there is no setting 'Colour': " + keys},
        {"[Output]\nValues=exact\nvalues=rounded\n",
         "line 3: Values is set again: it was set on line 2, and each setting is given once"},
        {"[Output]\nMilitaryCRS=EPSG:99999\n",
         "line 2: MilitaryCRS is 'EPSG:99999', which PROJ cannot use as a coordinate system: crs not "
         "found. It takes a code such as EPSG:4326, a WKT or a PROJ string"},
        {"[Output]\nNormalCRS=EPSG:4326;WGS84\n",
         "line 2: NormalCRS is 'EPSG:4326;WGS84', which PROJ cannot use as a coordinate system: crs "
         "not found. It takes a code such as EPSG:4326, a WKT or a PROJ string"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            parseSettings(c.text, "s.ini");
            ADD_FAILURE() << "accepted";
        } catch (const SettingsError& e) {
            EXPECT_EQ(std::string(e.what()), "The settings file 's.ini', " + c.message);
        }
    }
}

TEST(Settings, TheFileOnDisk) {
    TempFolder folder;
    const std::string path = folder.file("settings.ini");
    EXPECT_EQ(summary(readSettings(path)), "- - rounded placeholders");  // none: the defaults
    try {
        readSettings(path, true);
        ADD_FAILURE() << "a missing file that must exist was accepted";
    } catch (const SettingsError& e) {
        EXPECT_EQ(std::string(e.what()), "The settings file '" + path + "' does not exist");
    }
    std::filesystem::create_directory(path);
    EXPECT_THROW(readSettings(path), SettingsError);
    std::filesystem::remove(path);

    writeFile(path, "[Output]\nMissing=null\n");
    EXPECT_EQ(summary(readSettings(path)), "- - rounded null");
    if (::geteuid() != 0) {  // root reads any file
        ::chmod(path.c_str(), 0);
        try {
            readSettings(path);
            ADD_FAILURE() << "an unreadable file was taken as no settings";
        } catch (const SettingsError& e) {
            EXPECT_EQ(std::string(e.what()), "The settings file '" + path + "' cannot be read: Permission denied");
        }
    }
}

// Restores an environment variable when the test ends.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(Settings, WhereTheFileIsLookedFor) {
    ScopedEnv home("HOME", "/home/ana");
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/srv/config");
        EXPECT_EQ(defaultSettingsPath(), "/srv/config/vessamo-pontrel/settings.ini");
    }
    for (const char* unusable : {static_cast<const char*>(nullptr), "", "relative/config"}) {
        ScopedEnv config("XDG_CONFIG_HOME", unusable);
        EXPECT_EQ(defaultSettingsPath(), "/home/ana/.config/vessamo-pontrel/settings.ini");
    }
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    ScopedEnv noHome("HOME", nullptr);
    EXPECT_EQ(defaultSettingsPath(), "");
    EXPECT_EQ(summary(readUserSettings()), "- - rounded placeholders");
}

constexpr const char* kNoMatchingShift =
    "its datum shift (towgs84) cannot be written in a .prj, and no EPSG system places the points where it does: "
    "give the system's EPSG code instead";

TEST(CoordinateSystem, WhatPROJAcceptsAndWhy) {
    struct Case {
        std::string definition;
        std::string wktStart;  // empty: refused with `reason`
        std::string reason;
    };
    const Case cases[] = {
        {"EPSG:20790", R"(PROJCS["Portuguese_National_Grid",GEOGCS["GCS_Lisbon_Lisbon")", ""},
        {"epsg:3763", R"(PROJCS["ETRS_1989_Portugal_TM06")", ""},
        {"ESRI:102164", R"(PROJCS["Lisboa_Hayford_Gauss_IGeoE")", ""},
        {"urn:ogc:def:crs:EPSG::4326", kWgs84, ""},
        {R"(GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563]],PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]])",
         kWgs84, ""},
        {"+proj=utm +zone=29 +datum=WGS84 +units=m", R"(PROJCS["unknown",GEOGCS["GCS_unknown")", ""},
        {"+proj=longlat +datum=WGS84 +type=crs", R"(GEOGCS["GCS_unknown",DATUM["D_WGS_1984")", ""},
        {"EPSG:99999", "", "crs not found"},
        {"Lisbon grid", "", "unrecognized format / unknown name"},
        {"", "", "unrecognized format / unknown name"},
        {"urn:ogc:def:ellipsoid:EPSG::7030", "", "it is not a coordinate reference system"},
        {"EPSG:4978", "", "Geocentric CRS not supported in WKT1_ESRI"},
        // A definition with its own datum shift is written as the EPSG system that places the
        // points where it does (to within the accuracy of the shifts), or refused.
        {"+proj=tmerc +lat_0=39.66666666666666 +lon_0=1 +k=1 +x_0=200000 +y_0=300000 +ellps=intl "
         "+towgs84=-304.046,-60.576,103.64,0,0,0,0 +pm=lisbon +units=m +no_defs",
         R"(PROJCS["Portuguese_National_Grid",GEOGCS["GCS_Lisbon_Lisbon")", ""},
        {R"w(GEOGCS["Lisbon (Lisbon)",DATUM["Lisbon_1937",SPHEROID["International 1924",6378388,297],)w"
         R"w(TOWGS84[-304.046,-60.576,103.64,0,0,0,0]],PRIMEM["Lisbon",-9.13190611111111],UNIT["degree",0.0174532925199433]])w",
         R"(GEOGCS["GCS_Lisbon_Lisbon",DATUM["D_Lisbon")", ""},
        // A shift of nothing (+towgs84=0,..., +nadgrids=@null) moves no point: written as it is.
        {"+proj=tmerc +lat_0=39.6682583333333 +lon_0=-8.13310833333333 +k=1 +x_0=0 +y_0=0 +ellps=GRS80 "
         "+towgs84=0,0,0,0,0,0,0 +units=m +no_defs",
         R"(PROJCS["unknown",GEOGCS["GCS_unknown",DATUM["D_Unknown_based_on_GRS80_ellipsoid_)", ""},
        {"+proj=longlat +ellps=intl +towgs84=1,2,3,0,0,0,0 +no_defs", "", kNoMatchingShift},
        {"+proj=utm +zone=29 +ellps=intl +towgs84=-87,-98,-121,0,0,0,0 +units=m +no_defs", "", kNoMatchingShift},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.definition);
        if (c.wktStart.empty()) {
            try {
                shapefile::esriWktOf(c.definition);
                ADD_FAILURE() << "accepted";
            } catch (const shapefile::CoordinateSystemError& e) {
                EXPECT_EQ(std::string(e.what()), c.reason);
            }
        } else {
            const std::string wkt = shapefile::esriWktOf(c.definition);
            EXPECT_EQ(wkt.substr(0, c.wktStart.size()), c.wktStart);
            EXPECT_EQ(wkt.find('\n'), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace pontrel
