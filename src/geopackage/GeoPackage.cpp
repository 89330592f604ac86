// The GeoPackage writer over GDAL, which is loaded when first needed. GDAL's own messages are collected instead of printed, and the
// first failure becomes the message of the error thrown, after the file it concerns. The file is
// written without a rollback journal and without syncing: until it takes its final name it is
// nobody's, and a run that fails removes it whole, so neither would ever be used.

#include "geopackage/GeoPackage.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <type_traits>

#include "shapefile/ShapeFileError.h"
#include "shapefile/ShapeFiles.h"
#include "shapefile/output/FileSet.h"
#include "shapefile/output/StaleFiles.h"

namespace pontrel::geopackage {

namespace {

// GDAL is loaded when the first GeoPackage is written, not when the program starts: it brings
// over a hundred libraries, which every other run would load for nothing. Its functions are
// called through this table, each with the type its header declares.
#define PONTREL_GDAL_FUNCTIONS(X)                                                                    \
    X(CPLGetErrorHandlerUserData) X(CPLGetThreadLocalConfigOption) X(CPLPopErrorHandler)          \
    X(CPLPushErrorHandlerEx) X(CPLSetThreadLocalConfigOption) X(GDALAllRegister) X(GDALClose)     \
    X(GDALCreate) X(GDALDatasetCommitTransaction) X(GDALDatasetCreateLayer) X(GDALDatasetExecuteSQL) \
    X(GDALDatasetReleaseResultSet) X(GDALDatasetStartTransaction) X(GDALGetDriverByName)          \
    X(OGR_F_Create) X(OGR_F_Destroy) X(OGR_F_GetGeometryRef) X(OGR_F_SetFID)                      \
    X(OGR_F_SetFieldDateTimeEx) X(OGR_F_SetFieldDouble) X(OGR_F_SetFieldNull)                     \
    X(OGR_F_SetFieldString) X(OGR_F_SetGeometryDirectly) X(OGR_Fld_Create) X(OGR_Fld_Destroy)     \
    X(OGR_G_CreateGeometry) X(OGR_G_SetPoint_2D) X(OGR_L_CreateFeature) X(OGR_L_CreateField)     \
    X(OGR_L_GetLayerDefn) X(OSRImportFromProj4) X(OSRNewSpatialReference) X(OSRRelease)           \
    X(OSRSetAxisMappingStrategy) X(OSRSetFromUserInput)

struct GdalApi {
#define PONTREL_GDAL_MEMBER(name) decltype(&::name) name = nullptr;
    PONTREL_GDAL_FUNCTIONS(PONTREL_GDAL_MEMBER)
#undef PONTREL_GDAL_MEMBER
};

// The loaded library, for the rest of the run; throws GeoPackageError when it cannot be had, and
// tries again at the next call.
const GdalApi& gdal() {
    static const GdalApi api = [] {
        void* library = ::dlopen(PONTREL_GDAL_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!library)
            throw GeoPackageError(std::string("GDAL (" PONTREL_GDAL_SONAME "), which writes GeoPackages, cannot be loaded: ") +
                                  ::dlerror());
        GdalApi loaded;
        std::string missing;
#define PONTREL_GDAL_LOAD(name)                                                       \
    loaded.name = reinterpret_cast<decltype(&::name)>(::dlsym(library, #name));       \
    if (!loaded.name && missing.empty()) missing = #name;
        PONTREL_GDAL_FUNCTIONS(PONTREL_GDAL_LOAD)
#undef PONTREL_GDAL_LOAD
        if (!missing.empty()) {
            ::dlclose(library);
            throw GeoPackageError("GDAL (" PONTREL_GDAL_SONAME ") has no function " + missing +
                                  ", so GeoPackages cannot be written");
        }
        loaded.GDALAllRegister();
        return loaded;  // the library stays loaded until the program ends
    }();
    return api;
}

struct DatasetCloser {
    void operator()(void* dataset) const { gdal().GDALClose(dataset); }
};
struct FeatureDestroyer {
    void operator()(void* feature) const { gdal().OGR_F_Destroy(feature); }
};
struct ReferenceReleaser {
    void operator()(OGRSpatialReferenceH reference) const { gdal().OSRRelease(reference); }
};
struct FieldDestroyer {
    void operator()(OGRFieldDefnH field) const { gdal().OGR_Fld_Destroy(field); }
};
using Dataset = std::unique_ptr<std::remove_pointer_t<GDALDatasetH>, DatasetCloser>;
using Feature = std::unique_ptr<std::remove_pointer_t<OGRFeatureH>, FeatureDestroyer>;
using Reference = std::unique_ptr<std::remove_pointer_t<OGRSpatialReferenceH>, ReferenceReleaser>;
using FieldDefinition = std::unique_ptr<std::remove_pointer_t<OGRFieldDefnH>, FieldDestroyer>;

// GDAL's messages on this thread while it lives, kept rather than printed; the first failure is
// the one that explains the rest.
class MessageCapture {
public:
    MessageCapture() { gdal().CPLPushErrorHandlerEx(&MessageCapture::keep, this); }
    ~MessageCapture() { gdal().CPLPopErrorHandler(); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;
    // The first failure since the last call, or `fallback`; forgets it.
    std::string take(const char* fallback) {
        std::string text = first_.empty() ? fallback : first_;
        first_.clear();
        return text;
    }
    bool any() const { return !first_.empty(); }

private:
    static void CPL_STDCALL keep(CPLErr level, CPLErrorNum, const char* message) {
        auto* self = static_cast<MessageCapture*>(gdal().CPLGetErrorHandlerUserData());
        if (self && level >= CE_Failure && self->first_.empty()) self->first_ = message ? message : "";
    }
    std::string first_;
};

// GDAL's configuration for one thread, put back when the object goes.
class ThreadOption {
public:
    ThreadOption(const char* key, const char* value) : key_(key) {
        if (const char* old = gdal().CPLGetThreadLocalConfigOption(key, nullptr)) {
            old_ = old;
            had_ = true;
        }
        gdal().CPLSetThreadLocalConfigOption(key, value);
    }
    ~ThreadOption() { gdal().CPLSetThreadLocalConfigOption(key_, had_ ? old_.c_str() : nullptr); }
    ThreadOption(const ThreadOption&) = delete;
    ThreadOption& operator=(const ThreadOption&) = delete;

private:
    const char* key_;
    std::string old_;
    bool had_ = false;
};

GDALDriverH geoPackageDriver() { return gdal().GDALGetDriverByName("GPKG"); }

std::string sqlText(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted + "'";
}

// SQLite keeps a file of its own beside a database that a program has open in WAL mode, or that
// a program stopped writing half way: a new file under the name would be read with it, and
// damaged by what it holds.
void checkNoCompanions(const std::string& path) {
    for (const char* suffix : {"-wal", "-journal"}) {
        struct stat info {};
        const std::string companion = path + suffix;
        if (::lstat(companion.c_str(), &info) == 0)
            throw GeoPackageError("The GeoPackage '" + path + "' is in use: '" + companion +
                                  "' is beside it, so a program has it open or stopped while "
                                  "writing it. Close it there and convert again");
    }
}

}  // namespace

struct GeoPackage::State {
    MessageCapture messages;  // first in, last out: GDAL reports until the end
    std::unique_ptr<shapefile::output::FileSet> files;
    Dataset dataset;
    OGRLayerH layer = nullptr;
    Feature feature;
    OGRGeometryH point = nullptr;  // the feature's own
    bool inTransaction = false;
};

GeoPackage::GeoPackage(const std::string& path, const std::string& layer, const std::string& crsDefinition,
                       const std::vector<Column>& columns, const std::string& layerDescription)
    : path_(path), layerName_(layer), state_(std::make_unique<State>()) {
    const std::string extension = ".gpkg";
    const std::string stem = path.size() > extension.size() &&
                                     path.compare(path.size() - extension.size(), extension.size(), extension) == 0
                                 ? path.substr(0, path.size() - extension.size())
                                 : path;
    const std::size_t slash = stem.rfind('/');
    const std::string prefix = slash == std::string::npos ? std::string() : stem.substr(0, slash + 1);
    std::string folder = prefix.empty() ? "." : prefix;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    try {
        shapefile::checkOutputFolder(folder);
    } catch (const shapefile::ShapeFileError& e) {
        throw GeoPackageError(e.what());
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            throw GeoPackageError("'" + path + "' is a folder, so the GeoPackage cannot take its name");
        if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            throw GeoPackageError("The file '" + path + "' is read-only, so it is not replaced");
    }
    checkNoCompanions(path);
    shapefile::output::removeStaleFiles(folder);

    GDALDriverH driver = geoPackageDriver();
    if (!driver) throw GeoPackageError("GDAL has no GeoPackage driver, so '" + path + "' cannot be written");
    State& s = *state_;
    s.files = std::make_unique<shapefile::output::FileSet>(stem, prefix, path, folder, extension, "GeoPackage");
    try {
        s.files->createWith([&](const std::string& temporary) {
            ThreadOption journal("OGR_SQLITE_JOURNAL", "OFF");
            ThreadOption synchronous("OGR_SQLITE_SYNCHRONOUS", "OFF");
            s.dataset.reset(gdal().GDALCreate(driver, temporary.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
            if (!s.dataset) fail("cannot be created in the folder '" + folder + "'");
        });
    } catch (const shapefile::ShapeFileError& e) {
        throw GeoPackageError(e.what());
    }

    Reference crs;
    if (!crsDefinition.empty()) {
        crs.reset(gdal().OSRNewSpatialReference(nullptr));
        // A PROJ string is read as one, never taken for the name of a file to read.
        const OGRErr read = crsDefinition.front() == '+' ? gdal().OSRImportFromProj4(crs.get(), crsDefinition.c_str())
                                                         : gdal().OSRSetFromUserInput(crs.get(), crsDefinition.c_str());
        if (read != OGRERR_NONE) fail("cannot hold the coordinate system '" + crsDefinition + "'");
        gdal().OSRSetAxisMappingStrategy(crs.get(), OAMS_TRADITIONAL_GIS_ORDER);
    }
    const std::string describe = "DESCRIPTION=" + layerDescription;
    const char* options[] = {"GEOMETRY_NAME=geom", "FID=fid", "SPATIAL_INDEX=YES", describe.c_str(), nullptr};
    s.layer = gdal().GDALDatasetCreateLayer(s.dataset.get(), layer.c_str(), crs.get(), wkbPoint,
                                     const_cast<char**>(options));
    if (!s.layer) fail("cannot hold the layer '" + layer + "'");
    for (const Column& column : columns) {
        const OGRFieldType type = column.type == ColumnType::Real   ? OFTReal
                                  : column.type == ColumnType::Text ? OFTString
                                  : column.type == ColumnType::Date ? OFTDate
                                                                    : OFTDateTime;
        FieldDefinition field(gdal().OGR_Fld_Create(column.name.c_str(), type));
        if (gdal().OGR_L_CreateField(s.layer, field.get(), FALSE) != OGRERR_NONE)
            fail("cannot hold the column '" + column.name + "'");
        if (!column.title.empty() || !column.description.empty()) described_.push_back(column);
    }
    if (gdal().GDALDatasetStartTransaction(s.dataset.get(), FALSE) != OGRERR_NONE) fail("cannot be written");
    s.inTransaction = true;
    s.feature.reset(gdal().OGR_F_Create(gdal().OGR_L_GetLayerDefn(s.layer)));
    gdal().OGR_F_SetGeometryDirectly(s.feature.get(), gdal().OGR_G_CreateGeometry(wkbPoint));
    s.point = gdal().OGR_F_GetGeometryRef(s.feature.get());
    for (std::size_t k = 0; k < columns.size(); ++k) setNull(k);
}

GeoPackage::~GeoPackage() {
    // The dataset closes before the set removes its file.
    if (state_) {
        state_->feature.reset();
        state_->dataset.reset();
        state_->files.reset();
    }
}

void GeoPackage::fail(const std::string& what) const {
    throw GeoPackageError("The GeoPackage '" + path_ + "' " + what + ": " +
                          state_->messages.take("GDAL gave no reason"));
}

void GeoPackage::setPoint(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) {
        char text[64];
        std::snprintf(text, sizeof text, "(%.17g, %.17g)", x, y);
        throw GeoPackageError("The point of row " + std::to_string(rows_ + 1) + " " + text +
                              " cannot be written to the GeoPackage '" + path_ +
                              "': its coordinates must be finite numbers");
    }
    gdal().OGR_G_SetPoint_2D(state_->point, 0, x, y);
}

void GeoPackage::setReal(std::size_t column, double value) {
    gdal().OGR_F_SetFieldDouble(state_->feature.get(), static_cast<int>(column), value);
}

void GeoPackage::setText(std::size_t column, const std::string& text) {
    gdal().OGR_F_SetFieldString(state_->feature.get(), static_cast<int>(column), text.c_str());
}

void GeoPackage::setDate(std::size_t column, const CalendarTime& date) {
    gdal().OGR_F_SetFieldDateTimeEx(state_->feature.get(), static_cast<int>(column), date.year, date.month, date.day,
                             0, 0, 0.0f, 0);
}

void GeoPackage::setDateTime(std::size_t column, const CalendarTime& time) {
    // No time zone: the database holds the local time of the sample, and does not say which.
    gdal().OGR_F_SetFieldDateTimeEx(state_->feature.get(), static_cast<int>(column), time.year, time.month, time.day,
                             time.hour, time.minute, static_cast<float>(time.second), 0);
}

void GeoPackage::setNull(std::size_t column) {
    gdal().OGR_F_SetFieldNull(state_->feature.get(), static_cast<int>(column));
}

void GeoPackage::writeRow() {
    gdal().OGR_F_SetFID(state_->feature.get(), OGRNullFID);
    if (gdal().OGR_L_CreateFeature(state_->layer, state_->feature.get()) != OGRERR_NONE)
        fail("could not take row " + std::to_string(rows_ + 1));
    ++rows_;
}

// The columns' titles and descriptions, in the table readers look them up in. GDAL writes only
// names there, and only from version 3.7, so the table is made here as a GeoPackage defines it.
void GeoPackage::describeColumns(const std::vector<Column>& columns) {
    if (columns.empty()) return;
    std::vector<std::string> statements = {
        "CREATE TABLE IF NOT EXISTS gpkg_data_columns (table_name TEXT NOT NULL, column_name TEXT NOT NULL, "
        "name TEXT, title TEXT, description TEXT, mime_type TEXT, constraint_name TEXT, "
        "CONSTRAINT pk_gdc PRIMARY KEY (table_name, column_name), CONSTRAINT gdc_tn UNIQUE (table_name, name))",
        "CREATE TABLE IF NOT EXISTS gpkg_data_column_constraints (constraint_name TEXT NOT NULL, "
        "constraint_type TEXT NOT NULL, value TEXT, min NUMERIC, min_is_inclusive BOOLEAN, max NUMERIC, "
        "max_is_inclusive BOOLEAN, description TEXT, "
        "CONSTRAINT gdcc_ntv UNIQUE (constraint_name, constraint_type, value))",
        "INSERT INTO gpkg_extensions (table_name, column_name, extension_name, definition, scope) "
        "SELECT t, NULL, 'gpkg_schema', 'http://www.geopackage.org/spec/#extension_schema', 'read-write' "
        "FROM (SELECT 'gpkg_data_columns' AS t UNION ALL SELECT 'gpkg_data_column_constraints') "
        "WHERE t NOT IN (SELECT table_name FROM gpkg_extensions WHERE extension_name = 'gpkg_schema')",
    };
    for (const Column& column : columns)
        statements.push_back("INSERT INTO gpkg_data_columns (table_name, column_name, name, title, description) "
                             "VALUES (" + sqlText(layerName_) + ", " + sqlText(column.name) + ", " +
                             sqlText(column.name) + ", " + sqlText(column.title) + ", " +
                             sqlText(column.description) + ")");
    for (const std::string& statement : statements) {
        OGRLayerH result = gdal().GDALDatasetExecuteSQL(state_->dataset.get(), statement.c_str(), nullptr, nullptr);
        if (result) gdal().GDALDatasetReleaseResultSet(state_->dataset.get(), result);
        if (state_->messages.any()) fail("could not take the descriptions of its columns");
    }
}

void GeoPackage::close() {
    State& s = *state_;
    describeColumns(described_);
    if (s.inTransaction && gdal().GDALDatasetCommitTransaction(s.dataset.get()) != OGRERR_NONE)
        fail("could not be completed");
    s.inTransaction = false;
    s.feature.reset();
    s.dataset.reset();  // writes the spatial index and closes the file
    if (s.messages.any()) fail("could not be completed");
    checkNoCompanions(path_);
    try {
        s.files->commit();
    } catch (const shapefile::ShapeFileError& e) {
        throw GeoPackageError(e.what());
    }
    s.files.reset();
}

}  // namespace pontrel::geopackage
