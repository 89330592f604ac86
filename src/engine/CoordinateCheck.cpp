#include "engine/CoordinateCheck.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/Errors.h"
#include "shapefile/CoordinateSystem.h"
#include "shapefile/FieldFormats.h"

namespace pontrel {

namespace {

using shapefile::Extent;
using shapefile::ExtentFit;

// The rectangle around the finite points of the table; false when there is none.
bool extentOf(const RunState& state, Extent& extent) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    extent = {inf, inf, -inf, -inf};
    const std::size_t rows = std::min({state.TotalRecords + 1, state.Longitudes.size(), state.Latitudes.size()});
    for (std::size_t r = 1; r < rows; ++r) {
        const double x = state.Longitudes[r], y = state.Latitudes[r];
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        extent.minX = std::min(extent.minX, x);
        extent.maxX = std::max(extent.maxX, x);
        extent.minY = std::min(extent.minY, y);
        extent.maxY = std::max(extent.maxY, y);
    }
    return extent.minX <= extent.maxX;
}

// "The Military coordinates of these samples (x from 88000 to 131000, y from 181000 to 204000)"
std::string coordinatesText(const RunState& state, const Extent& extent) {
    using shapefile::numberText;
    return "The " + state.CoordinatesType + " coordinates of these samples (x from " + numberText(extent.minX) +
           " to " + numberText(extent.maxX) + ", y from " + numberText(extent.minY) + " to " +
           numberText(extent.maxY) + ")";
}

bool lookLikeDegrees(const Extent& e) {
    return std::fabs(e.minX) <= 180 && std::fabs(e.maxX) <= 180 && std::fabs(e.minY) <= 90 &&
           std::fabs(e.maxY) <= 90;
}

// What the user probably meant, from the other coordinate type's kind of numbers.
std::string hintFor(const RunState& state, const ExtentFit& fit, const Extent& extent) {
    const std::string other = state.CoordinatesType == kMilitary ? kNormal : kMilitary;
    if (fit.geographic && !lookLikeDegrees(extent))
        return ": these look like metres: choose the coordinate type " + other + ", or a projected system";
    if (!fit.geographic && lookLikeDegrees(extent))
        return ": these look like degrees: choose the coordinate type " + other + ", or a geographic system";
    return ": choose another coordinate system or coordinate type";
}

}  // namespace

void checkCoordinateSystem(const RunState& state, UserInterface& ui) {
    const CoordinateSystem& crs = state.Settings.crsFor(state.CoordinatesType);
    Extent extent;
    if (crs.empty() || !extentOf(state, extent)) return;
    ExtentFit fit;
    try {
        fit = shapefile::fitOfExtent(crs.definition.empty() ? crs.esriWkt : crs.definition, extent);
    } catch (const shapefile::CoordinateSystemError& e) {
        throw ConversionError("The coordinate system '" + crs.definition + "' cannot be checked: " + e.what());
    }
    const std::string system = fit.systemName.empty() ? crs.definition : fit.systemName;
    if (fit.verdict == ExtentFit::Verdict::Impossible) {
        const std::string kind = fit.geographic ? "longitudes and latitudes of " : "coordinates of ";
        throw UnsuitableCoordinateSystem(coordinatesText(state, extent) + " cannot be " + kind + system +
                                         hintFor(state, fit, extent));
    }
    if (!fit.geographic && lookLikeDegrees(extent)) {
        // Points within 180 metres of the system's origin are far likelier to be degrees.
        ui.showWarning(coordinatesText(state, extent) + " are all near the origin of " + system +
                       hintFor(state, fit, extent));
        return;
    }
    if (fit.verdict == ExtentFit::Verdict::OutsideAreaOfUse) {
        const std::string area = fit.areaName.empty() ? "" : " (" + fit.areaName + ")";
        ui.showWarning(coordinatesText(state, extent) + " lie outside the area where " + system + " is used" +
                       area + hintFor(state, fit, extent));
    }
}

}  // namespace pontrel
