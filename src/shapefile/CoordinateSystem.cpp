#include "shapefile/CoordinateSystem.h"

#include <proj.h>

#include <memory>

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

// PROJ's object for the definition, a coordinate reference system; `logged` receives PROJ's
// complaints meanwhile.
Object crsOf(PJ_CONTEXT* context, const std::string& definition, const std::string& logged) {
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
