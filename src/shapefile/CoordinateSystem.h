#pragma once
// A coordinate reference system as a shapefile's .prj holds it. PROJ reads the definition the
// user gives (an EPSG or ESRI code, a WKT or a PROJ string) and writes it as ESRI WKT, the form
// GIS programs expect beside a shapefile. This is the only code that calls PROJ; each call owns
// its PROJ context and object for its own duration.

#include <stdexcept>
#include <string>

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

}  // namespace pontrel::shapefile
