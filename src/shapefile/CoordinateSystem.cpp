#include "shapefile/CoordinateSystem.h"

#include <proj.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>

#include "common/TextBasics.h"

namespace pontrel::shapefile {

namespace {

struct ContextDeleter {
    void operator()(PJ_CONTEXT* context) const { proj_context_destroy(context); }
};
struct ObjectDeleter {
    void operator()(PJ* object) const { proj_destroy(object); }
};
using Context = std::unique_ptr<PJ_CONTEXT, ContextDeleter>;
using Object = std::unique_ptr<PJ, ObjectDeleter>;

// PROJ tells why it refused something through its log ("proj_create: crs not found"); the last
// message is kept, without the name of the function, instead of being printed on stderr.
void keepLastMessage(void* data, int level, const char* message) {
    if (level != PJ_LOG_ERROR || !message) return;
    std::string text = message;
    const std::size_t colon = text.find(": ");
    if (text.rfind("proj_", 0) == 0 && colon != std::string::npos) text.erase(0, colon + 2);
    *static_cast<std::string*>(data) = text;
}

std::string reasonOf(PJ_CONTEXT* context, const std::string& logged, const char* fallback) {
    if (!logged.empty()) return logged;
    const int error = proj_context_errno(context);
    if (error != 0) return proj_context_errno_string(context, error);
    return fallback;
}

bool isProjString(const std::string& text) {
    const std::size_t start = text.find_first_not_of(" \t");
    return start != std::string::npos &&
           (text[start] == '+' || text.compare(start, 5, "proj=") == 0);
}

// The first grid file a PROJ string names (in +nadgrids, +geoidgrids, +grids and the like),
// or empty. PROJ would open it (and with its network on, download it) only to write a .prj,
// which does not hold it; a pipe or a device there would hang the run. "@null", which names
// no file, is common in definitions of web maps and stays.
std::string gridFileIn(const std::string& definition) {
    std::size_t at = 0;
    while (at < definition.size()) {
        const std::size_t start = definition.find_first_not_of(" \t+", at);
        if (start == std::string::npos) break;
        std::size_t end = definition.find_first_of(" \t", start);
        if (end == std::string::npos) end = definition.size();
        at = end;
        const std::string token = definition.substr(start, end - start);
        const std::size_t equals = token.find('=');
        if (equals == std::string::npos || equals < 5 || token.compare(equals - 5, 5, "grids") != 0) continue;
        const std::string files = token.substr(equals + 1);
        std::size_t from = 0;
        for (;;) {
            const std::size_t comma = files.find(',', from);
            const std::string file = files.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
            if (file != "@null" && file != "null") return file;
            if (comma == std::string::npos) break;
            from = comma + 1;
        }
    }
    return {};
}

// PROJ's object for the definition, a coordinate reference system; `logged` receives PROJ's
// complaints meanwhile.
Object crsOf(PJ_CONTEXT* context, const std::string& definition, const std::string& logged) {
    if (isProjString(definition)) {
        const std::string grid = gridFileIn(definition);
        if (!grid.empty())
            throw CoordinateSystemError("it names the grid file '" + data::quotedForMessage(grid) +
                                        "', and a .prj is written without reading grid files");
    }
    Object crs(proj_create(context, definition.c_str()));
    if (crs && !proj_is_crs(crs.get()) && isProjString(definition) &&
        definition.find("type=crs") == std::string::npos) {
        // "+proj=longlat +datum=WGS84" names a conversion until it is marked as a system.
        Object marked(proj_create(context, (definition + " +type=crs").c_str()));
        if (marked) crs = std::move(marked);
    }
    if (!crs) throw CoordinateSystemError(reasonOf(context, logged, "not recognised"));
    if (!proj_is_crs(crs.get())) throw CoordinateSystemError("it is not a coordinate reference system");
    return crs;
}

bool isGeographic(PJ* crs) {
    const PJ_TYPE type = proj_get_type(crs);
    return type == PJ_TYPE_GEOGRAPHIC_2D_CRS || type == PJ_TYPE_GEOGRAPHIC_3D_CRS;
}

// Whether two systems put points of `area` (west, south, east, north in degrees) in the same
// place, to within 5 metres, the accuracy of the published datum shifts themselves: each is
// reached from WGS 84 by the transformation PROJ would use, as a GIS program reading the .prj
// would. A definition's own shift and the best EPSG one for its datum differ by about a metre.
bool samePlaces(PJ_CONTEXT* context, PJ* given, PJ* candidate, const double area[4]) {
    Object wgs84(proj_create(context, "EPSG:4326"));
    if (!wgs84) return false;
    Object raw(proj_create_crs_to_crs_from_pj(context, wgs84.get(), given, nullptr, nullptr));
    Object toGiven(raw ? proj_normalize_for_visualization(context, raw.get()) : nullptr);
    // The candidate's best operation from WGS 84 that needs no missing grid; one that merely
    // swaps the datum without shifting it (a "ballpark") proves nothing.
    Object toCandidate;
    if (PJ_OPERATION_FACTORY_CONTEXT* factory = proj_create_operation_factory_context(context, nullptr)) {
        proj_operation_factory_context_set_grid_availability_use(
            context, factory, PROJ_GRID_AVAILABILITY_DISCARD_OPERATION_IF_MISSING_GRID);
        PJ_OBJ_LIST* operations = proj_create_operations(context, wgs84.get(), candidate, factory);
        if (operations && proj_list_get_count(operations) > 0) {
            Object best(proj_list_get(context, operations, 0));
            if (best && !proj_coordoperation_has_ballpark_transformation(context, best.get()))
                toCandidate.reset(proj_normalize_for_visualization(context, best.get()));
        }
        proj_list_destroy(operations);
        proj_operation_factory_context_destroy(factory);
    }
    if (!toGiven || !toCandidate) return false;
    const double tolerance = isGeographic(candidate) ? 5e-5 : 5.0;
    for (const double fx : {0.5, 0.25, 0.75}) {
        for (const double fy : {0.5, 0.25, 0.75}) {
            const PJ_COORD point = proj_coord(area[0] + fx * (area[2] - area[0]), area[1] + fy * (area[3] - area[1]), 0, 0);
            const PJ_COORD a = proj_trans(toGiven.get(), PJ_FWD, point);
            const PJ_COORD b = proj_trans(toCandidate.get(), PJ_FWD, point);
            if (!std::isfinite(a.xy.x) || !std::isfinite(b.xy.x) || std::fabs(a.xy.x - b.xy.x) > tolerance ||
                std::fabs(a.xy.y - b.xy.y) > tolerance)
                return false;
        }
    }
    return true;
}

// Whether a definition's datum shift is none at all (+towgs84=0,0,0 or +nadgrids=@null, as
// definitions of web maps have): its points then lie where the same system without the shift puts
// them, and its ESRI WKT, which leaves the shift out, places them right.
bool shiftsNothing(PJ_CONTEXT* context, PJ* bound) {
    Object wgs84(proj_create(context, "EPSG:4326"));
    Object base(proj_get_source_crs(context, bound));
    if (!wgs84 || !base) return false;
    auto towards = [&](PJ* target) {
        Object raw(proj_create_crs_to_crs_from_pj(context, wgs84.get(), target, nullptr, nullptr));
        return raw ? Object(proj_normalize_for_visualization(context, raw.get())) : Object();
    };
    Object withShift = towards(bound), without = towards(base.get());
    if (!withShift || !without) return false;
    const double tolerance = isGeographic(base.get()) ? 1e-7 : 1e-2;  // a centimetre
    int compared = 0;
    for (const auto& [lon, lat] : {std::pair{-9.1, 38.7}, std::pair{0.0, 0.0}, std::pair{20.0, 50.0}, std::pair{-70.0, -30.0}}) {
        const PJ_COORD a = proj_trans(withShift.get(), PJ_FWD, proj_coord(lon, lat, 0, 0));
        const PJ_COORD b = proj_trans(without.get(), PJ_FWD, proj_coord(lon, lat, 0, 0));
        if (!std::isfinite(a.xy.x) || !std::isfinite(b.xy.x)) continue;
        if (std::fabs(a.xy.x - b.xy.x) > tolerance || std::fabs(a.xy.y - b.xy.y) > tolerance) return false;
        ++compared;
    }
    return compared > 0;
}

// A definition that carries its own datum shift (+towgs84 in a PROJ string, TOWGS84[...] in
// WKT) cannot be written as ESRI WKT, which has no room for it: written as it is, the .prj would
// place the points a hundred metres or more from where the definition does. So the EPSG system
// that places points exactly as the definition does stands in for it; without one, no .prj is
// written and the run is refused.
Object withoutDatumShift(PJ_CONTEXT* context, Object crs) {
    if (proj_get_type(crs.get()) != PJ_TYPE_BOUND_CRS || shiftsNothing(context, crs.get())) return crs;
    int* confidences = nullptr;
    PJ_OBJ_LIST* candidates = proj_identify(context, crs.get(), "EPSG", nullptr, &confidences);
    const int count = candidates ? proj_list_get_count(candidates) : 0;
    Object found;
    for (int i = 0; i < count && i < 20 && !found; ++i) {  // the likeliest first
        Object candidate(proj_list_get(context, candidates, i));
        if (!candidate) continue;
        Object base = proj_get_type(candidate.get()) == PJ_TYPE_BOUND_CRS
                          ? Object(proj_get_source_crs(context, candidate.get()))
                          : std::move(candidate);
        const char* code = base ? proj_get_id_code(base.get(), 0) : nullptr;
        if (!code) continue;
        Object epsg(proj_create(context, (std::string("EPSG:") + code).c_str()));
        double area[4];
        if (epsg && proj_get_area_of_use(context, epsg.get(), &area[0], &area[1], &area[2], &area[3], nullptr) &&
            samePlaces(context, crs.get(), epsg.get(), area))
            found = std::move(epsg);
    }
    proj_int_list_destroy(confidences);
    proj_list_destroy(candidates);
    if (!found)
        throw CoordinateSystemError(
            "its datum shift (towgs84) cannot be written in a .prj, and no EPSG system places the points "
            "where it does: give the system's EPSG code instead");
    return found;
}

// The operation from WGS 84 longitude and latitude to the system's x and y, as a GIS program
// would choose it.
Object fromWgs84Operation(PJ_CONTEXT* context, PJ* crs, const std::string& logged) {
    Object wgs84(proj_create(context, "EPSG:4326"));
    Object raw(wgs84 ? proj_create_crs_to_crs_from_pj(context, wgs84.get(), crs, nullptr, nullptr) : nullptr);
    Object operation(raw ? proj_normalize_for_visualization(context, raw.get()) : nullptr);
    if (!operation) throw CoordinateSystemError(reasonOf(context, logged, "no way to it from WGS 84 is known"));
    return operation;
}

Context newContext(std::string& logged) {
    Context context(proj_context_create());
    if (!context) throw CoordinateSystemError("PROJ could not be started");
    proj_log_func(context.get(), &logged, keepLastMessage);
    proj_context_set_enable_network(context.get(), 0);  // nothing of a .prj is ever downloaded
    return context;
}

}  // namespace

std::string esriWktOf(const std::string& definition) {
    std::string logged;
    Context context = newContext(logged);
    Object crs = withoutDatumShift(context.get(), crsOf(context.get(), definition, logged));

    logged.clear();
    const char* const options[] = {"MULTILINE=NO", nullptr};
    const char* wkt = proj_as_wkt(context.get(), crs.get(), PJ_WKT1_ESRI, options);
    if (!wkt || !*wkt)
        throw CoordinateSystemError(
            reasonOf(context.get(), logged, "it cannot be written as ESRI WKT"));
    return wkt;
}

std::string crsNameOf(const std::string& definition) {
    std::string logged;
    Context context = newContext(logged);
    Object crs = withoutDatumShift(context.get(), crsOf(context.get(), definition, logged));
    const char* name = proj_get_name(crs.get());
    return name ? name : "";
}

ExtentFit fitOfExtent(const std::string& definition, const Extent& extent) {
    std::string logged;
    Context context = newContext(logged);
    Object crs = withoutDatumShift(context.get(), crsOf(context.get(), definition, logged));
    ExtentFit fit;
    fit.geographic = isGeographic(crs.get());
    if (const char* name = proj_get_name(crs.get())) fit.systemName = name;
    if (fit.geographic && (std::fabs(extent.minX) > 180 || std::fabs(extent.maxX) > 180 ||
                           std::fabs(extent.minY) > 90 || std::fabs(extent.maxY) > 90)) {
        fit.verdict = ExtentFit::Verdict::Impossible;
        return fit;
    }
    double west = 0, south = 0, east = 0, north = 0;
    const char* areaName = nullptr;
    if (!proj_get_area_of_use(context.get(), crs.get(), &west, &south, &east, &north, &areaName) ||
        west < -180 || south < -90)  // no area of use, or PROJ's -1000 for an unknown one
        return fit;
    if (areaName) fit.areaName = areaName;

    // The corners and the middle of the extent, back in longitude and latitude.
    Object toWgs84 = fromWgs84Operation(context.get(), crs.get(), logged);
    const double midX = (extent.minX + extent.maxX) / 2, midY = (extent.minY + extent.maxY) / 2;
    constexpr double kMargin = 1.0;  // degrees: stations at sea lie off a land area's edge
    for (const auto& [x, y] : {std::pair{extent.minX, extent.minY}, std::pair{extent.minX, extent.maxY},
                               std::pair{extent.maxX, extent.minY}, std::pair{extent.maxX, extent.maxY},
                               std::pair{midX, midY}}) {
        const PJ_COORD at = proj_trans(toWgs84.get(), PJ_INV, proj_coord(x, y, 0, 0));
        const double lon = at.lp.lam, lat = at.lp.phi;
        if (!std::isfinite(lon) || !std::isfinite(lat) || std::fabs(lat) > 90 || std::fabs(lon) > 540) {
            fit.verdict = ExtentFit::Verdict::Impossible;
            return fit;
        }
        // An area across the antimeridian has its west edge east of its east edge.
        const bool lonInside = west <= east ? lon >= west - kMargin && lon <= east + kMargin
                                            : lon >= west - kMargin || lon <= east + kMargin;
        if (!lonInside || lat < south - kMargin || lat > north + kMargin)
            fit.verdict = ExtentFit::Verdict::OutsideAreaOfUse;
    }
    return fit;
}

std::vector<std::pair<double, double>> fromWgs84(const std::string& definition,
                                                 const std::vector<std::pair<double, double>>& points) {
    std::string logged;
    Context context = newContext(logged);
    Object crs = withoutDatumShift(context.get(), crsOf(context.get(), definition, logged));
    Object operation = fromWgs84Operation(context.get(), crs.get(), logged);
    std::vector<std::pair<double, double>> placed;
    placed.reserve(points.size());
    for (const auto& [lon, lat] : points) {
        const PJ_COORD at = proj_trans(operation.get(), PJ_FWD, proj_coord(lon, lat, 0, 0));
        if (!std::isfinite(at.xy.x) || !std::isfinite(at.xy.y))
            throw CoordinateSystemError("the point " + std::to_string(lon) + ", " + std::to_string(lat) +
                                        " has no place in it");
        placed.emplace_back(at.xy.x, at.xy.y);
    }
    return placed;
}

}  // namespace pontrel::shapefile
