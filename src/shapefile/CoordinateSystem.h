#pragma once
// A coordinate reference system as a shapefile's .prj holds it. PROJ reads the definition the
// user gives (an EPSG or ESRI code, a WKT or a PROJ string) and writes it as ESRI WKT, the form
// GIS programs expect beside a shapefile, and says whether a layer's points can lie in it. This is
// the only code that calls PROJ; each call owns its PROJ context and objects for its own duration.

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace pontrel::shapefile {

// PROJ does not know the definition, or it is no coordinate system that ESRI WKT can hold. The
// message is PROJ's reason, for the caller to put after what it was reading.
class CoordinateSystemError : public std::runtime_error {
public:
    explicit CoordinateSystemError(const std::string& reason) : std::runtime_error(reason) {}
};

// The ESRI WKT of `definition`, on one line. A PROJ string that lacks "+type=crs" is taken as
// the coordinate system it describes.
std::string esriWktOf(const std::string& definition);

// PROJ's name of the coordinate system `definition` names ("WGS 84" for EPSG:4326); throws
// CoordinateSystemError as esriWktOf does.
std::string crsNameOf(const std::string& definition);

// A rectangle of coordinates: x and y from the least to the greatest.
struct Extent {
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
};

// How the points of a layer suit the coordinate system declared for them.
struct ExtentFit {
    enum class Verdict {
        Fits,              // within the system's area of use, or near it
        OutsideAreaOfUse,  // placeable, but far from where the system is meant to be used
        Impossible,        // no place on Earth: latitudes beyond 90 degrees and the like
    };
    Verdict verdict = Verdict::Fits;
    bool geographic = false;  // the system's coordinates are degrees of longitude and latitude
    std::string systemName;   // PROJ's name of the system
    std::string areaName;     // PROJ's name of its area of use, when it has one
};

// How `extent` (x: easting or longitude, as a shapefile holds it) suits `definition`. A point
// less than a degree off the area of use still fits, for stations out at sea. Throws
// CoordinateSystemError as esriWktOf does.
ExtentFit fitOfExtent(const std::string& definition, const Extent& extent);

// The points (longitude, latitude in WGS 84) in the coordinates of `definition` (x, y as a
// shapefile holds them), by the transformation a GIS program would use. Throws
// CoordinateSystemError as esriWktOf does, or when a point cannot be placed.
std::vector<std::pair<double, double>> fromWgs84(const std::string& definition,
                                                 const std::vector<std::pair<double, double>>& points);

}  // namespace pontrel::shapefile
