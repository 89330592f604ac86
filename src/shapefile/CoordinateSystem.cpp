#include "shapefile/CoordinateSystem.h"

#include <proj.h>

#include <memory>

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
    Object crs = crsOf(context.get(), definition, logged);

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
    Object crs = crsOf(context.get(), definition, logged);
    const char* name = proj_get_name(crs.get());
    return name ? name : "";
}

}  // namespace pontrel::shapefile
